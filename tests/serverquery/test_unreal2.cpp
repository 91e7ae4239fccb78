#include <gtest/gtest.h>

#include <QSignalSpy>

#include "serverquery/serverquery.h"
#include "serverquery/unreal2protocol.h"
#include "tests/fakeservers/fakeservers.h"

using namespace tamarin;
using namespace Qt::StringLiterals;

namespace {

// Killing Floor's replies as a real server sent them (see fixtures/unreal2/README.md).
const QByteArray kInfo = fake::fixture(u"unreal2/kf-info.bin"_s);
const QByteArray kPlayers = fake::fixture(u"unreal2/kf-players.bin"_s);
const qsizetype kCountAt = kInfo.indexOf("SRGameType") + sizeof "SRGameType";  // players next

QString summary(const ServerStatus& s) {
    QString text = u"%1 | %2 | %3/%4 |"_s.arg(s.name, s.map).arg(s.players).arg(s.maxPlayers);
    for (const PlayerRow& row : s.rows) {
        text += u" %1/%2/%3"_s.arg(row.name).arg(row.score).arg(row.ping);
    }
    return text;
}

const QString kSeen =  // colour codes gone from the name
    u"WWW.CUZUS.ORG - BOSS RAGE - V1065 | KF-No-Mercy_TA | 2/24 | _Mary911/2297/100 _27/2093/100"_s;

}  // namespace

TEST(Unreal2, CapturedRepliesReadAsSentParsedAndOverUdp) {
    ServerStatus parsed = parseUnreal2Info(kInfo).value_or(ServerStatus{});
    parsed.rows = parseUnreal2Players(kPlayers).value_or(QList<PlayerRow>{});
    EXPECT_EQ(summary(parsed), kSeen);
    fake::FakeScriptedServer server([](const QByteArray& request) -> QList<QByteArray> {
        const char kind = request.size() == 5 ? request[4] : -1;
        return {kind == 0 ? kInfo : kind == 2 ? kPlayers : QByteArray()};
    });
    ServerQuery query;
    QSignalSpy spy(&query, &ServerQuery::finished);
    query.start(u"127.0.0.1"_s, server.port(), QueryProtocol::Unreal2);
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(summary(spy.first().first().value<ServerStatus>()), kSeen);
}

TEST(Unreal2, CutWrongOrHostileRepliesGiveWholeRecordsOnly) {
    for (qsizetype size = 0; size < kCountAt + 8; ++size) {
        EXPECT_FALSE(parseUnreal2Info(kInfo.first(size))) << size;
    }
    EXPECT_FALSE(parseUnreal2Info(fake::fixture(u"unreal2/kf-rules.bin"_s)) ||
                 parseUnreal2Players(kInfo));
    EXPECT_EQ(parseUnreal2Players(kPlayers.chopped(1))->size(), 1);  // cut in the last stats id
    // A name whose length byte promises more than the datagram holds.
    EXPECT_EQ(parseUnreal2Players(QByteArray("\x80\0\0\0\2\1\0\0\0\x7f_27\0", 14))->size(), 0);
    // A wide name (6 UTF-16 units with the NUL) holding a colour code; a negative player count.
    const QByteArray wide = QByteArray::fromHex(
        "861b00100020003000e9000000026100"
        "0100fbffffff00000000");
    EXPECT_EQ(summary(parseUnreal2Info(kInfo.first(18) + wide).value_or(ServerStatus{})),
              u"é | a | 0/0 |"_s);
}

TEST(Unreal2, ConversationWaitsForTheListAndTakesARepeatOnce) {
    QByteArray info = kInfo;
    info[kCountAt] = 5;  // more than the list will hold
    const std::unique_ptr<QueryConversation> talk = makeUnreal2Conversation();
    EXPECT_EQ(talk->firstRequest(), QByteArray("\x79\0\0\0\0", 5));
    EXPECT_EQ(talk->onDatagram(info).send, QByteArray("\x79\0\0\0\2", 5));
    EXPECT_FALSE(talk->onDatagram(kPlayers).outcome);
    EXPECT_FALSE(talk->onDatagram(kPlayers).outcome);
    EXPECT_EQ(summary(talk->onTimeout()).section(u'|', 2),
              u" 5/24 | _Mary911/2297/100 _27/2093/100"_s);
}
