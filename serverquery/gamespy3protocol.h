#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <array>
#include <memory>
#include <optional>

#include "serverquery/queryconversation.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

// GameSpy 3 (Battlefield 2 and 2142, Crysis, ArmA 2, ...). An optional challenge first:
//   FE FD 09 <id>  ->  09 <id> "<decimal challenge>\0"
// then the request for keys, players and teams, the challenge as a big-endian 32-bit number:
//   FE FD 00 <id> <challenge> FF FF FF 01
// The reply comes in packets: 00 <id> "splitnum\0" <packet number, high bit set on the last>,
// then sections, each a number (0 keys, 1 players, 2 teams) and its body. The keys are
// "key\0value\0" pairs up to an empty key; a table is columns up to an empty name, each column its
// name ("player_", "score_", ...), a byte telling the row its first value belongs to, and values
// up to an empty one. A column cut at the end of a packet goes on in the next one from the row its
// byte tells, the server sending the cut value again whole.

QByteArray gameSpy3ChallengeRequest(quint32 id);
// Without a challenge for servers that do not use one.
QByteArray gameSpy3Request(quint32 id, std::optional<quint32> challenge);

// The answer to the challenge request. A server that answers it without a readable number gets
// the request without one.
struct GameSpy3Challenge {
    std::optional<quint32> value;
};
std::optional<GameSpy3Challenge> parseGameSpy3Challenge(QByteArrayView datagram, quint32 id);

struct GameSpy3Packet {
    int number = 0;
    bool last = false;
    QByteArrayView payload;  // the sections; a view into the datagram
};
// One packet of the reply to the request with this id, or std::nullopt for anything else.
std::optional<GameSpy3Packet> parseGameSpy3Packet(QByteArrayView datagram, quint32 id);

// Reads the sections of the packets' payloads, given in packet order (missing ones left out). The
// result is Online; rows are the players whose shown fields all arrived.
ServerStatus parseGameSpy3Payloads(const QList<QByteArray>& payloads);

// Keeps the packets of one reply, in any arrival order, until the last one and all before it have
// come. Bounded: packet numbers from kMaxPackets on, copies of a packet already kept, packets
// beyond the first one marked last and bytes beyond kMaxBytes are dropped.
class GameSpy3Packets {
  public:
    static constexpr int kMaxPackets = 16;
    static constexpr qsizetype kMaxBytes = 64 * 1024;

    // Keeps one packet; true when the reply is whole.
    bool add(const GameSpy3Packet& packet);
    bool isEmpty() const;
    // What the packets kept so far say.
    ServerStatus status() const;

  private:
    std::array<std::optional<QByteArray>, kMaxPackets> payloads_;
    std::optional<int> last_;
    qsizetype bytes_ = 0;
};

// GameSpy 3: a challenge, then info, players and teams in split packets.
std::unique_ptr<QueryConversation> makeGameSpy3Conversation();

}  // namespace tamarin
