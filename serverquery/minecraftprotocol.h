#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "serverquery/serverstatus.h"

namespace tamarin {

// Minecraft: Java Edition's Server List Ping, over TCP: a handshake and a status request out, a
// JSON status back, then a ping whose pong times the round trip. Every packet is framed by its
// length as a VarInt (7 bits a byte, low first, at most 5 bytes).

// The handshake (protocol version, the address as typed, the port, next state: status), then the
// status request.
QByteArray minecraftStatusRequest(const QString& host, quint16 port);
QByteArray minecraftPingRequest(quint64 payload);

// Cuts the stream into packets, never holding more than one bounded packet's bytes: a length
// that does not end within 5 bytes, or one over kMaxPacket, breaks the stream for good.
class MinecraftPackets {
  public:
    static constexpr qsizetype kMaxPacket = 256 * 1024;
    enum class Next { NeedMore, Packet, Broken };

    void add(QByteArrayView bytes);
    // The next whole packet (its id and body) into `packet`.
    Next next(QByteArray& packet);

  private:
    QByteArray buffer_;
    bool broken_ = false;
};

// Reads a status packet (id 0, the JSON text). The description's first line (a plain string or a
// chat component with text and extra, formatting codes removed) is the name, its second stands
// where other games show the map; the sample's names are rows without score or ping. Anything
// else (another packet, JSON that is not an object) gives std::nullopt.
std::optional<ServerStatus> parseMinecraftStatus(QByteArrayView packet);
// The PNG in a favicon ("data:image/png;base64,..."), when it is one of at most 64 by 64 pixels
// and kMaxIconBytes: its header is read, the rest is left to whoever draws it. Empty otherwise.
inline constexpr qsizetype kMaxIconBytes = 32 * 1024;
QByteArray serverIconPng(const QString& favicon);

// Servers from before 1.7 close the connection on the handshake: they are asked again, on a new
// connection, with the ping of their time (FE 01), and answer with a kick packet (FF, then a
// UTF-16BE text: "\u00a71\0protocol\0version\0MOTD\0players\0max", or "MOTD\u00a7players\u00a7max"
// before 1.4).
QByteArray minecraftLegacyPingRequest();
// The status in a whole kick packet; std::nullopt when it is not one, or not whole yet.
std::optional<ServerStatus> parseMinecraftLegacyKick(QByteArrayView bytes);

// True for the pong that answers minecraftPingRequest(payload).
bool isMinecraftPong(QByteArrayView packet, quint64 payload);

}  // namespace tamarin
