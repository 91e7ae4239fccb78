#include <gtest/gtest.h>

#include <QSignalSpy>

#include <random>

#include "serverquery/gamespy1protocol.h"
#include "serverquery/serverquery.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/printers.h"

using namespace tamarin;
using namespace Qt::StringLiterals;

namespace {

// A capture's datagrams in the order the server numbered them (framing: see README.md).
QList<QByteArray> packets(const QString& file) {
    QByteArray rest = fake::fixture(u"gamespy1/"_s + file);
    QList<QByteArray> list;
    for (qsizetype cut = rest.indexOf("\n||\n"); cut >= 0; cut = rest.indexOf("\n||\n")) {
        list.append(rest.first(cut));
        rest.remove(0, cut + 4);
    }
    return list << rest;
}

QStringList rowTexts(const ServerStatus& status) {
    QStringList texts;
    for (const PlayerRow& row : status.rows) {
        texts << u"%1/%2/%3"_s.arg(row.name, QString::number(row.score), QString::number(row.ping));
    }
    return texts;
}

// What the tests compare: state, name, map, players/maxPlayers, row count[, one row].
QString summary(const ServerStatus& s, int rowAt = -1) {
    const auto n = [](qsizetype number) { return QString::number(number); };
    return u"%1|%2|%3|%4/%5|%6"_s.arg(
               s.state == ServerStatus::State::Online ? u"online"_s : u"silent"_s, s.name, s.map,
               n(s.players), n(s.maxPlayers), n(s.rows.size())) +
           (rowAt < 0 ? QString() : u"|"_s + rowTexts(s).value(rowAt));
}

// Feeds the datagrams to a conversation: its outcome, else what the timeout leaves.
std::pair<bool, ServerStatus> converse(const QList<QByteArray>& datagrams) {
    const auto talk = makeConversation(QueryProtocol::GameSpy1);
    for (const QByteArray& datagram : datagrams) {
        if (std::optional<ServerStatus> outcome = talk->onDatagram(datagram).outcome) {
            return {true, *outcome};
        }
    }
    return {false, talk->onTimeout()};
}

ServerStatus queryOverUdp(const QList<QByteArray>& replies) {
    fake::FakeScriptedServer server([&](const QByteArray&) { return replies; });
    ServerQuery query;
    query.setTimeoutMs(300);
    QSignalSpy spy(&query, &ServerQuery::finished);
    query.start(u"127.0.0.1"_s, server.port(), QueryProtocol::GameSpy1);
    return spy.wait(2000) ? spy.first().first().value<ServerStatus>() : ServerStatus{};
}

}  // namespace

// Every capture, parsed in order and replayed over UDP with its "\final\" datagram first and the
// rest shuffled: the same status either way.
TEST(GameSpy1, CapturesReadAsTheServersSentThem) {
    struct {
        QString file;
        int rowAt;  // a row to check as name/score/ping
        QString summary;
    } const captures[] = {
        {u"ut-1.bin"_s, 2,
         u"online|zp|    [=======]    [PURE]    [INSTAGIB]    [US]    [=======] by "
         u"www.unrealkillers.com|CTF-w00tabulousFixed|11/13|11|Resident Evil±/719/86"_s},
        {u"ut-2.bin"_s, 13,
         u"online|zp| *    *    *    -=[SIEGE]=- |uK| The One Night Stand -=[SIEGE]=- Server"
         u"      *    *    *    In Loving Memory of |uK|*STARS*"
         u"|CTF-[4]-'uK-Bathrooms][|14/23|14|HIGH[+]*C4)v(1L0*/342/183"_s},
        {u"ut-3.bin"_s, -1,
         u"online| * * *  UTzone.de  * * *  iCTF #1     [ P U R E NN INSTAGIB ] by DNW"
         u"|CTF-Klondike_LE15|0/10|0"_s},
        // Player 16 straddles datagrams 2 and 3; the server counts 17 but lists 18. Windows-1253
        // bytes read byte for byte as Latin-1.
        {u"bf1942-1.bin"_s, 2, u"online|SiMPLE | BF1942 [USA]|berlin|17/36|18|Åiôñ/39/49"_s},
        {u"bf1942-2.bin"_s, -1, u"online|HKHP CTF Guadal Canal CD&ORIGIN|guadalcanal|0/50|0"_s},
        {u"bf1942-3.bin"_s, 2, u"online|SiMPLE | RtR+SW [FRA]|telemark|14/36|14|Lt Joe/0/163"_s},
        // Player numbers with gaps: the last row is player_26.
        {u"mohaa-1.bin"_s, 17,
         u"online|^3=|LuV|= Freeze-Tag Server @ www.luvclan.eu|dm/mohdm4|18/32|18"
         u"|Miss Barmey/0/37"_s},
        {u"mohaa-2.bin"_s, 0,
         u"online|^3=|LuV|= Freeze-Tag Server @ www.luvclan.eu|dm/mohdm7|1/32|1"
         u"|=|LuV|= AmmaR/0/98"_s},
        {u"mohaa-3.bin"_s, 1,
         u"online|^3=|LuV|= Team-Deathmatch Server @ www.luvclan.eu|dm/mohdm4|2/32|2"
         u"|=|LUV|=grazy/0/10"_s},
    };
    std::mt19937 shuffle(1942);
    for (const auto& c : captures) {
        const auto [ended, status] = converse(packets(c.file));
        EXPECT_TRUE(ended);
        EXPECT_EQ(summary(status, c.rowAt), c.summary);
        QList<QByteArray> replies = packets(c.file);
        replies.prepend(replies.takeLast());
        std::shuffle(replies.begin() + 1, replies.end(), shuffle);
        const ServerStatus overUdp = queryOverUdp(replies);
        EXPECT_EQ(summary(overUdp, c.rowAt), c.summary);
        EXPECT_EQ(rowTexts(overUdp), rowTexts(status));
    }
}

// Lost datagrams show what arrived with a host name, never a cut-off record (player 16 loses its
// score with datagram 3); hostile ones change nothing beyond their bounds.
TEST(GameSpy1, LostAndHostileDatagramsHaveDefinedOutcomes) {
    const QList<QByteArray> bf = packets(u"bf1942-1.bin"_s);
    const QByteArray big(40000, 'x');
    const std::pair<QList<QByteArray>, QString> cases[] = {
        {bf.first(2) + bf.first(2), u"timeout online|SiMPLE | BF1942 [USA]|berlin|17/36|16"_s},
        {bf.sliced(1), u"timeout silent|||0/0|0"_s},
        {{"", "hostname\\A\\final\\"}, u"timeout silent|||0/0|0"_s},
        {{"\\hostname\\A\\queryid\\1.33\\final\\"}, u"timeout silent|||0/0|0"_s},
        {{"\\hostname\\A\\queryid\\1.2\\final\\"}, u"timeout online|A||0/0|0"_s},
        {{"\\final\\"}, u"timeout silent|||0/0|0"_s},
        {{"\\hostname\\A\\numplayers\\9999999999\\maxplayers\\-5\\player_0\\x\\player_1000\\y"
          "\\final\\"},
         u"end online|A||2147483647/0|1"_s},
        {{"\\hostname\\Old\\queryid\\7.1", "\\hostname\\New\\queryid\\8.1\\final\\"},
         u"end online|New||0/0|0"_s},
        // Five replies at once: the first gives way, so its end completes nothing.
        {{"\\hostname\\A\\queryid\\1.1", "\\a\\\\queryid\\2.1", "\\a\\\\queryid\\3.1",
          "\\a\\\\queryid\\4.1", "\\a\\\\queryid\\5.1", "\\queryid\\1.2\\final\\"},
         u"timeout silent|||0/0|0"_s},
        {{"\\hostname\\A\\b\\" + big + "\\queryid\\1.1", "\\c\\" + big + "\\queryid\\1.2\\final\\"},
         u"timeout online|A||0/0|0"_s},
        {{"\\hostname\\A\\player_0\\p\\frags_0\\1\\ping_0\\2\\player_1\\q\\queryid\\3.1"},
         u"timeout online|A||1/0|1"_s},
    };
    for (const auto& [datagrams, expected] : cases) {
        const auto [ended, status] = converse(datagrams);
        EXPECT_EQ((ended ? u"end "_s : u"timeout "_s) + summary(status), expected);
    }
}
