#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "serverquery/serverstatus.h"

namespace tamarin {

// Minecraft: Bedrock Edition's status, as its server list asks for it: RakNet's unconnected ping
// over UDP, one datagram out, one unconnected pong back whose text reads
// "MCPE;<MOTD>;<protocol>;<version>;<players>;<max>;<server id>;<second MOTD line>;<mode>;...".

// The ping: `sentAtMs` is echoed in the pong; `clientId` names this client to the server.
QByteArray bedrockPingRequest(quint64 sentAtMs, quint64 clientId);

// Reads an unconnected pong. Anything else (another packet, the wrong magic, a text longer than
// the datagram, fewer fields than edition, MOTD, protocol, version, players and max) gives
// std::nullopt. The MOTD's first line is the name and its second (the level's name) stands where
// other games show their map; formatting codes are removed. The result's state is Online.
std::optional<ServerStatus> parseBedrockPong(QByteArrayView datagram);

// Removes Minecraft's formatting codes: a section sign and the character after it. A section
// sign at the very end is dropped too: on its own it means nothing.
QString stripMinecraftFormatting(const QString& text);

}  // namespace tamarin
