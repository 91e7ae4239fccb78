#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <memory>
#include <optional>
#include <utility>

#include "serverquery/queryconversation.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

// GameSpy 1, the query of Unreal Tournament, Battlefield 1942, Medal of Honor and their kin: one
// "\status\" datagram out, "\key\value\key\value..." back in one or more datagrams. Each datagram
// carries "\queryid\N.M" (N numbers the query on the server, M the datagram from 1) and the last
// one "\final\"; they may arrive in any order, and "\final\" may never arrive at all.

// The key/value pairs of a reply, in the order the server sent them.
using GameSpy1Fields = QList<std::pair<QByteArray, QByteArray>>;

QByteArray gameSpy1StatusRequest();

// One datagram of a reply, read.
struct GameSpy1Packet {
    GameSpy1Fields fields;  // without the "queryid" and "final" markers
    // From "\queryid\N.M"; no number when the datagram carries none (or an unreadable one).
    std::optional<quint32> queryNumber;
    int index = 0;  // M, from 1; 0 without a query number
    bool final = false;
};

// Largest datagram index and reply size taken; anything larger is hostile or broken.
inline constexpr int kGameSpy1MaxPackets = 32;
inline constexpr qsizetype kGameSpy1MaxReplyBytes = 64 * 1024;

// Reads one datagram. A datagram that does not start with a backslash, is larger than a whole
// reply may be, or numbers itself beyond kGameSpy1MaxPackets gives std::nullopt.
std::optional<GameSpy1Packet> parseGameSpy1Packet(QByteArrayView datagram);

// The status a reply's fields describe; std::nullopt when they carry no host name (nothing to
// show). Rows are the players whose name, score and ping all arrived (where the game reports
// score or ping at all), in the order of their numbers; the state is Online.
std::optional<ServerStatus> gameSpy1Status(const GameSpy1Fields& fields);

// Puts the datagrams of replies back together, in the order the server numbered them. A resent
// request gets its own reply under a new query number, so up to kMaxPendingReplies replies are
// kept side by side (the oldest gives way). Each is bounded by kGameSpy1MaxPackets datagrams
// and kGameSpy1MaxReplyBytes bytes; what would go beyond is dropped.
class GameSpy1Assembler {
  public:
    static constexpr int kMaxPendingReplies = 4;

    // Takes one datagram; returns the whole reply's fields when this one completed it: "\final\"
    // arrived and so did every datagram numbered before it.
    std::optional<GameSpy1Fields> add(QByteArrayView datagram);
    // What arrived of each incomplete reply, the one with the most datagrams first.
    QList<GameSpy1Fields> incompleteReplies() const;

  private:
    struct Pending {
        std::optional<quint32> queryNumber;
        QMap<int, GameSpy1Fields> packets;  // by index; arrival order where unnumbered
        int finalIndex = 0;                 // 0 until "\final\" arrived
        qsizetype bytes = 0;
    };

    Pending* pendingFor(const std::optional<quint32>& queryNumber);
    static GameSpy1Fields joined(const Pending& pending);
    static bool complete(const Pending& pending);

    QList<Pending> pending_;
};

std::unique_ptr<QueryConversation> makeGameSpy1Conversation();

}  // namespace tamarin
