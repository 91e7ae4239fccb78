#include <gtest/gtest.h>

#include <QSignalSpy>

#include "serverquery/gamespy2protocol.h"
#include "serverquery/serverquery.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/printers.h"

using namespace tamarin;
using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kCaptureId = 0x434F5259;  // "CORY", the id the captures answer

QByteArray capture(const char* file) {  // empty if missing, which no parse accepts
    return fake::fixture(u"gamespy2/"_s + QString::fromLatin1(file));
}

QByteArray nul(const char* text) {  // '|' stands for a NUL byte
    return QByteArray(text).replace('|', '\0');
}

// A player table as the servers append it: 16-bit count, names, then the rows' values.
const QByteArray kTable = nul("|\3player_|score_|ping_|team_||Chief|25|40|1|Cortana|-3|80|2|Cut|7");

}  // namespace

TEST(GameSpy2, CapturesReadAsTheServersSentThem) {
    const struct {
        const char* file;
        QString name, map;
        int players, maxPlayers;
    } cases[] = {
        {"halo-info.bin", u"~  BLOODY GULCH - www.bloodygulch.info"_s, u"bloodgulch"_s, 16, 16},
        {"swat4-info.bin", u"HOUSE OF P"_s, u"A-Bomb Nightclub"_s, 9, 10},  // colour tag gone
        {"fear-info.bin", u"=MXT=CTF Server"_s, u"[SEC2] - MXTTrollHouse"_s, 17, 18},
    };
    for (const auto& c : cases) {
        const std::optional<ServerStatus> status = parseGameSpy2Reply(capture(c.file), kCaptureId);
        ASSERT_TRUE(status) << c.file;
        EXPECT_EQ(status->state, ServerStatus::State::Online);
        EXPECT_EQ(QStringList({status->name, status->map}), QStringList({c.name, c.map}));
        EXPECT_EQ(std::pair(status->players, status->maxPlayers),
                  std::pair(c.players, c.maxPlayers));
        EXPECT_TRUE(status->rows.isEmpty()) << c.file;  // asked for its keys only
        EXPECT_FALSE(parseGameSpy2Reply(capture(c.file), kCaptureId + 1)) << "another id";
    }
}

TEST(GameSpy2, PlayerRowsAreKeptOnlyWhole) {
    const std::optional<ServerStatus> status =
        parseGameSpy2Reply(capture("halo-info.bin") + kTable, kCaptureId);
    ASSERT_TRUE(status);
    ASSERT_EQ(status->rows.size(), 2);  // "Cut" lost its ping and team
    EXPECT_EQ(status->rows[0].name, u"Chief"_s);
    EXPECT_EQ(std::pair(status->rows[1].score, status->rows[1].ping), std::pair(-3, 80));
    EXPECT_EQ(status->players, 16);  // the count it reported, not the rows

    const QByteArray halo = capture("halo-info.bin");
    for (const QByteArray& broken :
         {QByteArray(), halo.first(4), halo.chopped(1), halo.first(halo.indexOf("mapname") + 9)}) {
        EXPECT_FALSE(parseGameSpy2Reply(broken, kCaptureId)) << broken.size();
    }
    // A count far above the rows sent, and names that never end: bounded by the bytes.
    const QByteArray huge = halo + nul("\xFF\xFFplayer_||a|b|");
    EXPECT_EQ(parseGameSpy2Reply(huge, kCaptureId)->rows.size(), 2);
    EXPECT_TRUE(parseGameSpy2Reply(halo + nul("|\5player_"), kCaptureId)->rows.isEmpty());
}

TEST(GameSpy2, CaptureReplayedOverUdp) {
    fake::FakeScriptedServer server([](const QByteArray& request) {
        QByteArray reply = capture("halo-info.bin") + kTable;
        return QList<QByteArray>{reply.replace(1, 4, request.mid(3, 4))};  // echoes the id
    });
    ServerQuery query;
    QSignalSpy spy(&query, &ServerQuery::finished);
    query.start(u"127.0.0.1"_s, server.port(), QueryProtocol::GameSpy2);
    ASSERT_TRUE(spy.wait(5000));
    const auto status = spy.first().first().value<ServerStatus>();
    EXPECT_EQ(status.name, u"~  BLOODY GULCH - www.bloodygulch.info"_s);  // so Online
    EXPECT_EQ(std::pair(status.players, status.rows.size()), std::pair(16, qsizetype(2)));
    EXPECT_EQ(server.requests().value(0).toHex().replace(6, 8, "--------"), "fefd00--------ffffff");
}
