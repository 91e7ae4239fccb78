#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

#include "serverquery/queryconversation.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

// The Unreal Engine 2 server query (UT2003, UT2004, Killing Floor, Red Orchestra, Unreal 2 XMP),
// asked on the game port + 1: a five-byte request per kind of reply, every reply starting with the
// engine's four-byte version and the kind again. Numbers are little-endian int32; texts carry a
// length byte that counts their closing NUL, with the high bit meaning UTF-16 code units instead.

enum class Unreal2Query : quint8 { Info = 0, Rules = 1, Players = 2 };

QByteArray unreal2Request(Unreal2Query query);

// The server info reply: name, map and player counts. Anything else, or a reply cut off before the
// counts, gives std::nullopt. The result's state is Online.
std::optional<ServerStatus> parseUnreal2Info(QByteArrayView datagram);

// One datagram of the player list (a long list comes in several): the players whose record
// arrived whole, in order. std::nullopt for a datagram that is not a player list.
std::optional<QList<PlayerRow>> parseUnreal2Players(QByteArrayView datagram);

// Rows kept from all player datagrams together, and how many distinct player datagrams are read
// before the list counts as complete, so a server that keeps sending cannot grow a query forever.
inline constexpr int kUnreal2MaxRows = 256;
inline constexpr int kUnreal2MaxPlayerDatagrams = 16;

// Info first; then, when anybody plays, the player list until it holds as many players as the info
// counted. A list that stays short (some servers count their bots differently) ends at the
// timeout with what arrived.
std::unique_ptr<QueryConversation> makeUnreal2Conversation();

}  // namespace tamarin
