#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QtEndian>
#include <algorithm>

#include "serverquery/gamespy3protocol.h"
#include "serverquery/serverquery.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/printers.h"

using namespace tamarin;
using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kCaptureId = 0x04050607;  // the id the captured packets carry

QByteArray nul(const char* text) {  // '|' stands for a NUL byte
    return QByteArray(text).replace('|', '\0');
}

// A capture's packets in the order the server numbered them (empty ones if missing).
QList<QByteArray> capture(const QString& name, int count) {
    QList<QByteArray> packets;
    for (int i = 0; i < count; ++i) {
        packets << fake::fixture(
            u"gamespy3/%1%2.bin"_s.arg(name, count > 1 ? u"-%1"_s.arg(i) : ""));
    }
    return packets;
}

// The reply put together from its packets in the order given; nullopt if it never completes.
std::optional<ServerStatus> assemble(const QList<QByteArray>& packets) {
    GameSpy3Packets reply;
    for (const QByteArray& datagram : packets) {
        const std::optional<GameSpy3Packet> packet = parseGameSpy3Packet(datagram, kCaptureId);
        if (packet && reply.add(*packet)) {
            return reply.status();
        }
    }
    return std::nullopt;
}

// Name, map, counts and the number of rows, then the rows asked for as "name/score/ping".
QStringList summary(const ServerStatus& status, std::initializer_list<int> rows = {}) {
    const auto number = [](qsizetype n) { return QString::number(n); };
    QStringList lines{u"%1|%2|%3/%4|%5 rows"_s.arg(status.name, status.map, number(status.players),
                                                   number(status.maxPlayers),
                                                   number(status.rows.size()))};
    for (const int i : rows) {
        const PlayerRow row = status.rows.value(i);
        lines << u"%1/%2/%3"_s.arg(row.name).arg(row.score).arg(row.ping);
    }
    return lines;
}

// clang-format off
const struct Capture {
    QString file;
    int packets;
    std::initializer_list<int> rows;
    QStringList expected;
} kCaptures[] = {
    {u"bf2-empty"_s, 1, {}, {u"Another Gameservers.com Server is Born|Strike At Karkand|0/32|0 rows"_s}},
    // The name cut at the end of the first packet ("T 1") comes again whole in the second.
    {u"bf2142-coop"_s, 2, {0, 23, 30, 32}, {u"Reclamation Remaster|Leipzig|2/64|33 rows"_s,
        u" ddre/37/41"_s, u" Boomer-UK/4/23"_s, u"T 1000/1/0"_s, u"No Collusion/0/0"_s}},
    // A column name cut at the end of the first packet ("t") starts over in the second.
    {u"bf2-bots"_s, 2, {0, 18}, {u"=F&F= Best Maps !!!|Strike At Karkand|20/64|19 rows"_s,
        u" Happy Hero/0/0"_s, u" Peaceful Terrorist/0/0"_s}},
};
// clang-format on

}  // namespace

TEST(GameSpy3, CapturesReadAsTheServersSentThemInAnyOrder) {
    for (const Capture& c : kCaptures) {
        QList<QByteArray> packets = capture(c.file, c.packets);
        EXPECT_EQ(summary(assemble(packets).value_or(ServerStatus()), c.rows), c.expected);
        std::reverse(packets.begin(), packets.end());
        EXPECT_EQ(summary(assemble(packets).value_or(ServerStatus()), c.rows), c.expected);
        EXPECT_EQ(assemble({packets.last()}).has_value(), c.packets == 1) << "packet 0 alone";
    }
}

TEST(GameSpy3, HostilePacketsAreBounded) {
    const QByteArray head = nul("|\x04\x05\x06\x07splitnum|");
    const auto packet = [&](int byte, const QByteArray& payload = nul("|hostname|x||")) {
        return head + char(byte) + payload;
    };
    EXPECT_FALSE(assemble({packet(0x10), packet(0x90)})) << "numbers from 16 on";
    EXPECT_FALSE(assemble({packet(0x01), packet(0x01), packet(0x82)})) << "copies and gaps";
    EXPECT_FALSE(assemble({packet(0x00, QByteArray(70000, 'x')), packet(0x81)})) << "64 KiB";
    EXPECT_TRUE(assemble({packet(0x83), packet(0x84), packet(0x82), packet(0x01), packet(0x00)}));
    EXPECT_FALSE(parseGameSpy3Packet(head, kCaptureId)) << "no packet number";
    // Offsets past the rows kept, unknown sections, endless columns: defined, bounded results.
    const QByteArray odd = nul("\1player_|\377a|||\7zz");
    EXPECT_EQ(summary(parseGameSpy3Payloads({odd, QByteArray(1000, '\x01')}), {0}),
              QStringList({u"||1/0|1 rows"_s, u"a/0/0"_s}));
}

TEST(GameSpy3, ChallengesAreReadAndBounded) {
    const QByteArray head = QByteArray("\x09\x04\x05\x06\x07");
    EXPECT_EQ(parseGameSpy3Challenge(head + "123456\0", kCaptureId)->value, 123456u);
    EXPECT_EQ(parseGameSpy3Challenge(head + "-5", kCaptureId)->value, 0xFFFFFFFBu);
    EXPECT_FALSE(parseGameSpy3Challenge(head + "99999999999", kCaptureId)->value);
    EXPECT_FALSE(parseGameSpy3Challenge(head + "12", kCaptureId + 1));
    EXPECT_EQ(gameSpy3Request(1, 0x80000001).toHex(), "fefd000000000180000001ffffff01");

    // A server handing out a new challenge each time is given up on, not followed forever.
    const auto talk = makeConversation(QueryProtocol::GameSpy3);
    const QByteArray id = talk->firstRequest().mid(3, 4);
    for (int round = 1; round <= kMaxChallengeRounds + 1; ++round) {
        const ConversationStep step = talk->onDatagram("\x09" + id + QByteArray::number(round));
        EXPECT_EQ(step.outcome.has_value(), round > kMaxChallengeRounds) << round;
    }
}

TEST(GameSpy3, CapturesReplayedOverUdp) {
    const qint32 challenge = -123456;
    for (const bool asksChallenge : {true, false}) {
        const Capture& c = kCaptures[1];
        fake::FakeScriptedServer server([&](const QByteArray& request) -> QList<QByteArray> {
            const QByteArray id = request.mid(3, 4);
            if (asksChallenge && request[2] == '\x09') {
                return {"\x09" + id + QByteArray::number(challenge) + '\0'};
            }
            if (asksChallenge && qFromBigEndian<qint32>(request.constData() + 7) != challenge) {
                return {};
            }
            QList<QByteArray> packets = capture(c.file, c.packets);  // sent last packet first:
            return QList<QByteArray>{packets[1].replace(1, 4, id), packets[0].replace(1, 4, id)};
        });
        ServerQuery query;
        QSignalSpy spy(&query, &ServerQuery::finished);
        query.start(u"127.0.0.1"_s, server.port(), QueryProtocol::GameSpy3);
        ASSERT_TRUE(spy.wait(5000));
        EXPECT_EQ(summary(spy.first().first().value<ServerStatus>(), c.rows), c.expected);
        EXPECT_EQ(server.requests().size(), asksChallenge ? 2 : 1);
    }
}
