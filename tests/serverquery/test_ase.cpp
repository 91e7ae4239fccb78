#include <gtest/gtest.h>

#include <QSignalSpy>

#include "serverquery/aseprotocol.h"
#include "serverquery/serverquery.h"
#include "tests/fakeservers/fakeservers.h"

using namespace tamarin;
using namespace Qt::StringLiterals;

namespace {

// Multi Theft Auto servers' replies as captured (see fixtures/ase/README.md).
const QByteArray kDayZ = fake::fixture(u"ase/mta-dayz.bin"_s);
const QByteArray kNorm = fake::fixture(u"ase/mta-norm.bin"_s);

QString summary(const ServerStatus& s) {
    QString text = u"%1 | %2 | %3/%4 |"_s.arg(s.name, s.map).arg(s.players).arg(s.maxPlayers);
    for (const PlayerRow& row : s.rows) {
        text += u" %1/%2/%3"_s.arg(row.name).arg(row.score).arg(row.ping);
    }
    return text;
}

const QString kDayZSeen =
    u"[BS][RU] MTA DayZ Ultimate [#1] \"Brown\" [HARDCORE, LOOT X1, 130 VEHICLES, FAST ZOMBIE] "
    u"-TOP- | None | 4/40 | [USSR]BadBoy228/0/70 Lesnik/0/32 Vendetta/0/79 Netx/0/95"_s;

}  // namespace

TEST(Ase, CapturedRepliesReadAsSentParsedAndOverUdp) {
    EXPECT_EQ(summary(parseAseReply(kDayZ).value_or(ServerStatus{})), kDayZSeen);
    EXPECT_EQ(summary(parseAseReply(kNorm).value_or(ServerStatus{})).trimmed(),
              u"MTA:SA Türkiye - Norm Gaming [ Turkish / Turkey ] | None | 0/70 |"_s);
    // A stray datagram first changes nothing.
    fake::FakeScriptedServer server([](const QByteArray& request) -> QList<QByteArray> {
        return request == "s" ? QList<QByteArray>{"EYE2", kDayZ} : QList<QByteArray>{};
    });
    ServerQuery query;
    QSignalSpy spy(&query, &ServerQuery::finished);
    query.start(u"127.0.0.1"_s, server.port(), QueryProtocol::Ase);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(summary(spy.first().first().value<ServerStatus>()), kDayZSeen);
}

TEST(Ase, CutOrHostileRepliesGiveWholeRecordsAndColoursGo) {
    const qsizetype serverEnd = kDayZ.indexOf("\00340") + 3;
    for (qsizetype size = 0; size <= kDayZ.size(); ++size) {
        const std::optional<ServerStatus> status = parseAseReply(kDayZ.first(size));
        ASSERT_EQ(status.has_value(), size >= serverEnd) << size;
        EXPECT_TRUE(!status || status->rows.isEmpty() || status->rows.last().ping > 0) << size;
    }
    // Without a player count the rows are counted; a nameless record is no row.
    QByteArray noCount = kDayZ.first(kDayZ.indexOf("?\x10[USSR]"));
    noCount.replace("\0024\00340", QByteArray("\001\00340", 4));
    const ServerStatus counted = *parseAseReply(noCount + "\x10\00312\001\002x");
    EXPECT_EQ(summary(counted).section(u'|', 2), u" 1/40 | x/0/0"_s);

    // Colour codes are exactly "#" and six hex digits.
    EXPECT_EQ(stripAseColours(u"#FF0000Red#00ff00Green #12345 #12345G ##00FF00x [#1]"_s),
              u"RedGreen #12345 #12345G #x [#1]"_s);
}
