#include "serverquery/gamespy3protocol.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>

#include "serverquery/bytereader.h"
#include "serverquery/gamespy2protocol.h"

namespace tamarin {

namespace {

constexpr char kDataType = 0x00;
constexpr char kChallengeType = 0x09;
constexpr qsizetype kIdSize = 4;
constexpr QByteArrayView kSplitMarker("splitnum\0", 9);
constexpr quint8 kLastPacketFlag = 0x80;
// Challenges are printed as signed or unsigned 32-bit numbers.
constexpr qint64 kLowestChallenge = -(qint64(1) << 31);
constexpr qint64 kHighestChallenge = (qint64(1) << 32) - 1;

enum Section : quint8 { Keys = 0, Players = 1, Teams = 2 };

// The bytes after the reply type and id, if the datagram starts with that type and this id.
std::optional<QByteArrayView> bodyOf(QByteArrayView datagram, char type, quint32 id) {
    if (datagram.size() < 1 + kIdSize || datagram[0] != type ||
        datagram.sliced(1, kIdSize) != bigEndianBytes(id)) {
        return std::nullopt;
    }
    return datagram.sliced(1 + kIdSize);
}

// One table: columns up to an empty name. False when the payload ended inside it.
bool readTable(ByteReader& reader, GameSpyFields& fields, bool players) {
    for (;;) {
        const std::optional<QByteArrayView> name = reader.readCString();
        if (!name) {
            return false;
        }
        if (name->isEmpty()) {
            return true;
        }
        const std::optional<quint8> firstRow = reader.readU8();
        if (!firstRow) {
            return false;  // a name cut at the end of the packet; the next one sends it again
        }
        const auto column = players ? GameSpyFields::columnFor(*name) : std::nullopt;
        for (int row = *firstRow;; ++row) {
            const std::optional<QByteArrayView> value = reader.readCString();
            if (!value) {
                return false;
            }
            if (value->isEmpty()) {
                break;
            }
            if (column) {
                fields.setValue(*column, row, *value);
            }
        }
    }
}

void readPayload(QByteArrayView payload, GameSpyFields& fields) {
    ByteReader reader(payload);
    while (const std::optional<quint8> section = reader.readU8()) {
        const bool whole = *section == Keys ? fields.readKeys(reader)
                           : *section == Players || *section == Teams
                               ? readTable(reader, fields, *section == Players)
                               : false;  // a section not known: its length is not either
        if (!whole) {
            return;
        }
    }
}

// The challenge request first, then the request with the challenge; a server that answers the
// challenge request with the reply itself is taken at its word.
class GameSpy3Conversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return gameSpy3ChallengeRequest(id_); }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        if (const std::optional<GameSpy3Challenge> challenge =
                parseGameSpy3Challenge(datagram, id_)) {
            return onChallenge(challenge->value);
        }
        const std::optional<GameSpy3Packet> packet = parseGameSpy3Packet(datagram, id_);
        if (packet && packets_.add(*packet)) {
            return {{}, packets_.status()};
        }
        return {};
    }

    ServerStatus onTimeout() const override {
        return packets_.isEmpty() ? ServerStatus::withState(ServerStatus::State::NotAnswering)
                                  : packets_.status();
    }

  private:
    ConversationStep onChallenge(std::optional<quint32> challenge) {
        // The same challenge again answers a resent challenge request; the request carrying it
        // is already on its way.
        if (challengeRounds_ > 0 && challenge == lastChallenge_) {
            return {};
        }
        lastChallenge_ = challenge;
        if (++challengeRounds_ > kMaxChallengeRounds) {
            return {{}, onTimeout()};
        }
        return {gameSpy3Request(id_, challenge), std::nullopt};
    }

    quint32 id_ = QRandomGenerator::global()->generate();
    GameSpy3Packets packets_;
    int challengeRounds_ = 0;
    std::optional<quint32> lastChallenge_;
};

}  // namespace

QByteArray gameSpy3ChallengeRequest(quint32 id) {
    return QByteArrayLiteral("\xFE\xFD\x09") + bigEndianBytes(id);
}

QByteArray gameSpy3Request(quint32 id, std::optional<quint32> challenge) {
    return QByteArrayLiteral("\xFE\xFD\x00") + bigEndianBytes(id) +
           (challenge ? bigEndianBytes(*challenge) : QByteArray()) +
           QByteArrayLiteral("\xFF\xFF\xFF\x01");
}

std::optional<GameSpy3Challenge> parseGameSpy3Challenge(QByteArrayView datagram, quint32 id) {
    const std::optional<QByteArrayView> body = bodyOf(datagram, kChallengeType, id);
    if (!body) {
        return std::nullopt;
    }
    const qsizetype end = body->indexOf('\0');
    bool ok = false;
    const qint64 value = body->first(end < 0 ? body->size() : end).trimmed().toLongLong(&ok);
    if (!ok || value < kLowestChallenge || value > kHighestChallenge) {
        return GameSpy3Challenge{};
    }
    return GameSpy3Challenge{quint32(value)};
}

std::optional<GameSpy3Packet> parseGameSpy3Packet(QByteArrayView datagram, quint32 id) {
    const std::optional<QByteArrayView> body = bodyOf(datagram, kDataType, id);
    if (!body || !body->startsWith(kSplitMarker) || body->size() <= kSplitMarker.size()) {
        return std::nullopt;
    }
    const quint8 packet = quint8((*body)[kSplitMarker.size()]);
    return GameSpy3Packet{packet & ~kLastPacketFlag, (packet & kLastPacketFlag) != 0,
                          body->sliced(kSplitMarker.size() + 1)};
}

ServerStatus parseGameSpy3Payloads(const QList<QByteArray>& payloads) {
    GameSpyFields fields;
    for (const QByteArray& payload : payloads) {
        readPayload(payload, fields);
    }
    return fields.status();
}

bool GameSpy3Packets::add(const GameSpy3Packet& packet) {
    const bool fits = packet.number < kMaxPackets && !payloads_[packet.number] &&
                      (!last_ || packet.number <= *last_) &&
                      bytes_ + packet.payload.size() <= kMaxBytes;
    if (!fits) {
        return false;
    }
    if (packet.last && !last_) {
        last_ = packet.number;
        for (int later = packet.number + 1; later < kMaxPackets; ++later) {
            bytes_ -= payloads_[later] ? payloads_[later]->size() : 0;
            payloads_[later].reset();
        }
    }
    payloads_[packet.number] = packet.payload.toByteArray();
    bytes_ += packet.payload.size();
    return last_ && std::all_of(payloads_.begin(), payloads_.begin() + *last_ + 1,
                                [](const auto& payload) { return payload.has_value(); });
}

bool GameSpy3Packets::isEmpty() const {
    return std::none_of(payloads_.begin(), payloads_.end(),
                        [](const auto& payload) { return payload.has_value(); });
}

ServerStatus GameSpy3Packets::status() const {
    QList<QByteArray> kept;
    for (const std::optional<QByteArray>& payload : payloads_) {
        if (payload) {
            kept.append(*payload);
        }
    }
    return parseGameSpy3Payloads(kept);
}

std::unique_ptr<QueryConversation> makeGameSpy3Conversation() {
    return std::make_unique<GameSpy3Conversation>();
}

}  // namespace tamarin
