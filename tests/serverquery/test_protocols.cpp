#include <gtest/gtest.h>

#include <QSet>
#include <algorithm>
#include <random>

#include "serverquery/a2sprotocol.h"
#include "serverquery/bedrockprotocol.h"
#include "serverquery/bytereader.h"
#include "serverquery/gametypes.h"
#include "serverquery/minecraftprotocol.h"
#include "serverquery/quake3protocol.h"
#include "serverquery/queryconversation.h"
#include "serverquery/servertext.h"
#include "tests/fakeservers/fakeservers.h"

using namespace tamarin;
using namespace tamarin::fake;
using namespace Qt::StringLiterals;

namespace {

using State = ServerStatus::State;

bool sameRow(const PlayerRow& a, const PlayerRow& b) {
    return a.name == b.name && a.score == b.score && a.ping == b.ping;
}

// True when the rows of `part` are the first rows of `whole`.
bool isPrefixOf(const QList<PlayerRow>& part, const QList<PlayerRow>& whole) {
    return part.size() <= whole.size() &&
           std::equal(part.cbegin(), part.cend(), whole.cbegin(), sameRow);
}

}  // namespace

// --- Game types --------------------------------------------------------------------------------

TEST(GameTypes, CodesMapToTheirProtocolWhateverTheCase) {
    const struct {
        const char* code;
        QueryProtocol protocol;
    } cases[] = {
        {"q3", QueryProtocol::Quake3},   {"OA", QueryProtocol::Quake3},
        {" et ", QueryProtocol::Quake3}, {"hl", QueryProtocol::A2S},
        {"Cs", QueryProtocol::A2S},      {"TF2", QueryProtocol::A2S},
        {"cs2", QueryProtocol::A2S},     {"source", QueryProtocol::A2S},
        {"", QueryProtocol::None},       {"quake", QueryProtocol::None},
        {"q3 x", QueryProtocol::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(protocolForGameType(QString::fromLatin1(c.code)), c.protocol) << c.code;
    }
}

TEST(GameTypes, CodesAreUniqueLowerCaseAndDescribed) {
    QSet<QString> seen;
    for (const GameTypeInfo& type : knownGameTypes()) {
        const QString code = QString::fromLatin1(type.code);
        EXPECT_EQ(code, code.toLower());
        EXPECT_FALSE(QString::fromUtf8(type.name).isEmpty());
        EXPECT_NE(type.protocol, QueryProtocol::None);
        EXPECT_FALSE(seen.contains(code)) << type.code;
        seen.insert(code);
    }
    // An alias is another name of one game: never a game's own code, never two games.
    for (const GameTypeAlias& alias : gameTypeAliases()) {
        const QString name = QString::fromLatin1(alias.alias);
        EXPECT_EQ(name, name.toLower());
        EXPECT_FALSE(seen.contains(name)) << alias.alias;
        seen.insert(name);
        ASSERT_NE(findGameType(name), nullptr) << alias.alias;
        EXPECT_STREQ(findGameType(u" "_s + name.toUpper())->code, alias.code);
    }
}

TEST(GameTypes, QueryPortsFollowTheRuleAndStayInRange) {
    EXPECT_EQ(queryPortForGame(u"valheim"_s, 2456), 2457);
    EXPECT_EQ(queryPortForGame(u"dayz"_s, 2302), 27016);
    EXPECT_EQ(queryPortForGame(u"q3"_s, 27961), 27961);
    EXPECT_EQ(queryPortForGame(u"no-such-game"_s, 1234), 1234);
    EXPECT_EQ(queryPortForGame(u"mtasa"_s, 22003), 22126);  // an alias, +123
    // An offset that would leave the range of ports asks the game port instead.
    EXPECT_EQ(QueryPortRule::offset(1).queryPortFor(65535), 65535);
    EXPECT_EQ(QueryPortRule::offset(-10).queryPortFor(5), 5);
    EXPECT_EQ(canonicalGameCode(u"UT2004"_s), u"unrealtournament2004"_s);
    EXPECT_EQ(canonicalGameCode(u" zz "_s), u"zz"_s);
}

// --- Reading bytes and text --------------------------------------------------------------------

TEST(ByteReader, FailedReadsConsumeNothing) {
    const QByteArray bytes(
        "\x01\x02\x03\x04\x05"
        "ab\0c",
        9);
    ByteReader reader(bytes);
    EXPECT_EQ(reader.readU32(), 0x04030201u);
    EXPECT_FALSE(reader.readBytes(6));
    EXPECT_EQ(reader.readU8(), 5);
    EXPECT_EQ(reader.readCString(), QByteArrayView("ab"));
    EXPECT_FALSE(reader.readCString());  // "c" has no NUL
    EXPECT_FALSE(reader.readBytes(-1));
    EXPECT_FALSE(reader.skip(2));
    EXPECT_EQ(reader.remaining(), 1);
    EXPECT_EQ(reader.readU8(), 'c');
    EXPECT_TRUE(reader.atEnd());
}

TEST(ServerText, DecodesLenientlyAndDropsControls) {
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"plain", u"plain"_s},
        {"J\xC3\xB6rg", u"J\u00F6rg"_s},    // UTF-8
        {"J\xF6rg", u"J\u00F6rg"_s},        // Latin-1
        {"ab\xE2\x82", u"ab\u00E2"_s},      // cut UTF-8: Latin-1, the C1 byte dropped
        {"\xC0\xAFx", u"\u00C0\u00AFx"_s},  // overlong UTF-8 is not UTF-8
        {"a\tb\x1B[31mc\x7F", u"ab[31mc"_s},
        {"", QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeServerText(c.bytes), c.text) << c.bytes.toHex().constData();
    }
}

// --- Quake III ---------------------------------------------------------------------------------

TEST(Quake3, RequestIsGetstatus) {
    EXPECT_EQ(quake3StatusRequest(), QByteArray("\xFF\xFF\xFF\xFFgetstatus\n"));
}

TEST(Quake3, ColourCodesAreStripped) {
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {u"^1Red^7Name"_s, u"RedName"_s}, {u"^^7x"_s, u"^x"_s},   {u"^^"_s, u"^^"_s},
        {u"end^"_s, u"end^"_s},           {u"^xy"_s, u"y"_s},     {u"^\U0001F600a"_s, u"a"_s},
        {u"no codes"_s, u"no codes"_s},   {u"^^^1a"_s, u"^^a"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stripQuake3Colours(c.in), c.out) << c.in.toStdString();
    }
}

TEST(Quake3, ReadsSettingsAndPlayers) {
    const QByteArray reply =
        quake3Reply({{"SV_HOSTNAME", "^1Red ^7Arena"},
                     {"mapname", "q3dm17"},
                     {"sv_maxclients", "16"},
                     {"sv_privateClients", "4"},
                     {"mapname", "ignored: the first one counts"}},
                    {{12, 50, "^2Visor"}, {-3, 999, "J\xF6rg \"the\" one"}, {99999999, 0, ""}});
    const std::optional<ServerStatus> status = parseQuake3StatusReply(reply);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->state, State::Online);
    EXPECT_EQ(status->name, u"Red Arena"_s);
    EXPECT_EQ(status->map, u"q3dm17"_s);
    EXPECT_EQ(status->maxPlayers, 12);
    EXPECT_EQ(status->players, 3);
    ASSERT_EQ(status->rows.size(), 3);
    EXPECT_TRUE(sameRow(status->rows[0], {u"Visor"_s, 12, 50}));
    EXPECT_TRUE(sameRow(status->rows[1], {u"J\u00F6rg \"the\" one"_s, -3, 999}));
    EXPECT_TRUE(sameRow(status->rows[2], {QString(), 99999999, 0}));
}

TEST(Quake3, OddPlayerLinesAndNumbersHaveDefinedResults) {
    const QByteArray reply = QByteArray("\xFF\xFF\xFF\xFFstatusResponse\r\n") +
                             "\\sv_maxclients\\ 99999999999\\sv_privateClients\\-5\n" +
                             "99999999999 -99999999999 \"big\"\n" +  // saturates
                             "7 8 unquoted name\r\n" + "1 2 \"unclosed\n" + "not a player\n" +
                             "3\n" + "\n" + "4 5 \"cut off";  // no line feed: never arrived whole
    const std::optional<ServerStatus> status = parseQuake3StatusReply(reply);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->maxPlayers, 2147483647);
    EXPECT_EQ(status->name, QString());
    ASSERT_EQ(status->rows.size(), 3);
    EXPECT_TRUE(sameRow(status->rows[0], {u"big"_s, 2147483647, -2147483647 - 1}));
    EXPECT_TRUE(sameRow(status->rows[1], {u"unquoted name"_s, 7, 8}));
    EXPECT_TRUE(sameRow(status->rows[2], {u"unclosed"_s, 1, 2}));
}

TEST(Quake3, RejectsWhatIsNotAStatusResponse) {
    const QByteArray notReplies[] = {
        "",
        "\xFF\xFF\xFF\xFF",
        "\xFF\xFF\xFF\xFFstatusResponse",
        "\xFF\xFF\xFF\xFFstatusResponse\n\\sv_hostname\\no line feed",
        "\xFF\xFF\xFF\xFFstatusResponsex\n\\a\\b\n",
        "\xFF\xFF\xFF\xFFinfoResponse\n\\a\\b\n",
        "\xFF\xFF\xFF\xFEstatusResponse\n\\a\\b\n",
        "statusResponse\n\\a\\b\n",
    };
    for (const QByteArray& reply : notReplies) {
        EXPECT_FALSE(parseQuake3StatusReply(reply)) << reply.toHex().constData();
    }
}

TEST(Quake3, TruncatedRepliesGiveNothingOrWholeLinesOnly) {
    const QByteArray reply =
        quake3Reply({{"sv_hostname", "Host"}, {"mapname", "map"}, {"sv_maxclients", "8"}},
                    {{1, 2, "one"}, {3, 4, "two"}, {5, 6, "three"}});
    const std::optional<ServerStatus> whole = parseQuake3StatusReply(reply);
    ASSERT_TRUE(whole);
    for (qsizetype length = 0; length <= reply.size(); ++length) {
        const std::optional<ServerStatus> cut = parseQuake3StatusReply(reply.first(length));
        if (!cut) {
            continue;
        }
        EXPECT_EQ(cut->name, whole->name) << length;
        EXPECT_EQ(cut->map, whole->map) << length;
        EXPECT_EQ(cut->maxPlayers, whole->maxPlayers) << length;
        EXPECT_EQ(cut->players, cut->rows.size());
        EXPECT_TRUE(isPrefixOf(cut->rows, whole->rows)) << length;
    }
}

// --- A2S ---------------------------------------------------------------------------------------

TEST(A2s, RequestsCarryTheChallengeLittleEndian) {
    EXPECT_EQ(a2sInfoRequest(), QByteArray("\xFF\xFF\xFF\xFFTSource Engine Query\0", 25));
    EXPECT_EQ(a2sInfoRequest(0x04030201),
              QByteArray("\xFF\xFF\xFF\xFFTSource Engine Query\0\x01\x02\x03\x04", 29));
    EXPECT_EQ(a2sPlayerRequest(), QByteArray("\xFF\xFF\xFF\xFFU\xFF\xFF\xFF\xFF", 9));
    EXPECT_EQ(a2sPlayerRequest(0x0A0B0C0D), QByteArray("\xFF\xFF\xFF\xFFU\x0D\x0C\x0B\x0A", 9));
}

TEST(A2s, ReadsBothInfoLayoutsAndTheChallenge) {
    const A2sInfoFields fields{"Caf\xC3\xA9 \xFF", "de_dust2", "cstrike", "CS", 7, 32};
    for (const QByteArray& reply : {a2sSourceInfoReply(fields), a2sGoldSrcInfoReply(fields)}) {
        const A2sReply parsed = parseA2sReply(reply);
        const auto* info = std::get_if<A2sInfo>(&parsed);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->name, u"Caf\u00C3\u00A9 \u00FF"_s);  // not UTF-8 as a whole: Latin-1
        EXPECT_EQ(info->map, u"de_dust2"_s);
        EXPECT_EQ(info->players, 7);
        EXPECT_EQ(info->maxPlayers, 32);
    }
    const A2sReply challenge = parseA2sReply(a2sChallengeReply(0xDEADBEEF));
    ASSERT_TRUE(std::holds_alternative<A2sChallenge>(challenge));
    EXPECT_EQ(std::get<A2sChallenge>(challenge).challenge, 0xDEADBEEFu);
}

TEST(A2s, PlayerCountIsLimitedByTheRecordsThatArrived) {
    const QList<A2sPlayer> players{{"one", 5, 1.f}, {"", -2, 2.f}, {"three", 0, 3.f}};
    const struct {
        QByteArray reply;
        qsizetype rows;
    } cases[] = {
        {a2sPlayerReply(players), 3},
        {a2sPlayerReply(players, 255), 3},  // a count byte that lies upwards
        {a2sPlayerReply(players, 1), 1},    // records past the count are not read
        {a2sPlayerReply({}, 0), 0},
        {a2sPlayerReply(players).chopped(1), 2},  // the last float is cut short
    };
    for (const auto& c : cases) {
        const A2sReply parsed = parseA2sReply(c.reply);
        const auto* list = std::get_if<A2sPlayers>(&parsed);
        ASSERT_TRUE(list) << c.reply.toHex().constData();
        EXPECT_EQ(list->rows.size(), c.rows);
    }
    const A2sReply parsed = parseA2sReply(a2sPlayerReply(players));
    const QList<PlayerRow>& rows = std::get<A2sPlayers>(parsed).rows;
    EXPECT_TRUE(sameRow(rows[1], {QString(), -2, 0}));
}

TEST(A2s, UnknownOrIncompleteRepliesAreNothing) {
    const QByteArray notReplies[] = {
        "",
        QByteArray("\xFF\xFF\xFF", 3),
        QByteArray("\xFF\xFF\xFF\xFF", 4),
        QByteArray("\xFF\xFF\xFF\xFFZabc", 8),
        QByteArray("\xFF\xFF\xFF\xFF"
                   "A\x01\x02\x03",
                   8),
        QByteArray("\xFF\xFF\xFF\xFF"
                   "D",
                   5),
        QByteArray("\xFE\xFF\xFF\xFF"
                   "D\x00",
                   6),
    };
    for (const QByteArray& reply : notReplies) {
        EXPECT_TRUE(std::holds_alternative<std::monostate>(parseA2sReply(reply)))
            << reply.toHex().constData();
    }
}

TEST(A2s, TruncatedRepliesAreWholeOrNothing) {
    const A2sInfoFields fields{"Name", "map", "tf", "TF", 3, 24};
    for (const QByteArray& info : {a2sSourceInfoReply(fields), a2sGoldSrcInfoReply(fields)}) {
        for (qsizetype length = 0; length < info.size(); ++length) {
            const A2sReply cut = parseA2sReply(info.first(length));
            if (const auto* parsed = std::get_if<A2sInfo>(&cut)) {
                EXPECT_EQ(parsed->name, u"Name"_s) << length;
                EXPECT_EQ(parsed->map, u"map"_s) << length;
                EXPECT_EQ(parsed->maxPlayers, 24) << length;
            } else {
                EXPECT_TRUE(std::holds_alternative<std::monostate>(cut)) << length;
            }
        }
    }
    const QByteArray players = a2sPlayerReply({{"a", 1, 1.f}, {"bb", 2, 2.f}, {"ccc", 3, 3.f}});
    const QList<PlayerRow> whole = std::get<A2sPlayers>(parseA2sReply(players)).rows;
    for (qsizetype length = 0; length < players.size(); ++length) {
        const A2sReply cut = parseA2sReply(players.first(length));
        if (const auto* parsed = std::get_if<A2sPlayers>(&cut)) {
            EXPECT_TRUE(isPrefixOf(parsed->rows, whole)) << length;
            EXPECT_LT(parsed->rows.size(), whole.size()) << length;
        }
    }
}

// --- Split replies -----------------------------------------------------------------------------

namespace {

const QByteArray kLongReply =
    a2sPlayerReply({{"first player", 1, 1.f}, {"second player", 2, 2.f}, {"third", 3, 3.f}});

// Feeds fragments in the given order; returns every reply that came out whole.
QList<QByteArray> feed(A2sSplitAssembler& assembler, const QList<QByteArray>& fragments) {
    QList<QByteArray> whole;
    for (const QByteArray& fragment : fragments) {
        if (std::optional<QByteArray> reply = assembler.add(fragment)) {
            whole.append(*reply);
        }
    }
    return whole;
}

QList<QByteArray> reversed(QList<QByteArray> list) {
    std::reverse(list.begin(), list.end());
    return list;
}

}  // namespace

TEST(A2sSplit, ReassemblesBothLayoutsInAnyOrder) {
    std::mt19937 random(7);
    for (const QList<QByteArray>& fragments :
         {splitSource(kLongReply, 9, 10), splitGoldSrc(kLongReply, 9, 10)}) {
        ASSERT_GT(fragments.size(), 3);
        QList<QByteArray> shuffled = fragments;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        for (const QList<QByteArray>& order : {fragments, reversed(fragments), shuffled}) {
            A2sSplitAssembler assembler;
            EXPECT_EQ(feed(assembler, order), QList<QByteArray>{kLongReply});
            EXPECT_EQ(assembler.pendingReplies(), 0);
        }
    }
}

TEST(A2sSplit, RepeatedFragmentsCountOnce) {
    QList<QByteArray> fragments = splitSource(kLongReply, 3, 20);
    fragments.insert(1, fragments[0]);
    fragments.append(fragments[1]);
    A2sSplitAssembler assembler;
    EXPECT_EQ(feed(assembler, fragments), QList<QByteArray>{kLongReply});
}

TEST(A2sSplit, BrokenOrHostileRepliesNeverComeOut) {
    QList<QByteArray> missing = splitSource(kLongReply, 1, 10);
    missing.removeAt(2);

    QList<QByteArray> disagreeing = splitSource(kLongReply, 1, 10);
    disagreeing.last()[8] = char(disagreeing.size() + 1);

    QList<QByteArray> tooMany = splitSource(QByteArray(kLongReply).repeated(2), 1, 4);
    EXPECT_GT(tooMany.size(), A2sSplitAssembler::kMaxFragments);
    for (QByteArray& fragment : tooMany) {  // total written mod 256 as a real overflow would be
        fragment[8] = char(tooMany.size());
    }

    const QList<QByteArray> compressed = splitSource(kLongReply, 0x80000001, 10);

    QList<QByteArray> hugeFragments;
    for (int i = 0; i < 2; ++i) {
        QByteArray fragment = splitSource(QByteArray(40000, 'x'), 5, 40000).first();
        fragment[8] = 2;
        fragment[9] = char(i);
        hugeFragments.append(fragment);
    }

    const QList<QByteArray> noReplyHeader = splitSource(QByteArray(30, 'x'), 1, 10);
    const QList<QByteArray> tooShort = {QByteArray("\xFE\xFF\xFF\xFF\x01\x00", 6),
                                        QByteArray("\xFE\xFF\xFF\xFF", 4), QByteArray()};

    for (const QList<QByteArray>& fragments :
         {missing, disagreeing, tooMany, compressed, hugeFragments, noReplyHeader, tooShort}) {
        A2sSplitAssembler assembler;
        EXPECT_TRUE(feed(assembler, fragments).isEmpty());
        EXPECT_LE(assembler.pendingReplies(), 1);
    }
}

TEST(A2sSplit, OldestPendingReplyGivesWay) {
    A2sSplitAssembler assembler;
    const QList<QByteArray> oldest = splitSource(kLongReply, 100, 10);
    assembler.add(oldest[0]);
    for (quint32 id = 0; id < A2sSplitAssembler::kMaxPendingReplies; ++id) {
        assembler.add(splitSource(kLongReply, id, 10)[0]);
    }
    EXPECT_EQ(assembler.pendingReplies(), A2sSplitAssembler::kMaxPendingReplies);
    EXPECT_TRUE(feed(assembler, oldest.sliced(1)).isEmpty());  // its first fragment was dropped
}

TEST(A2sSplit, TruncatedFragmentsNeverGiveAReply) {
    const QList<QByteArray> fragments = splitGoldSrc(kLongReply, 4, 30);
    for (qsizetype length = 0; length < fragments[1].size(); ++length) {
        A2sSplitAssembler assembler;
        QList<QByteArray> cut = fragments;
        cut[1].truncate(length);
        for (const QByteArray& reply : feed(assembler, cut)) {
            EXPECT_NE(reply, kLongReply) << length;
            EXPECT_TRUE(std::holds_alternative<std::monostate>(parseA2sReply(reply)) ||
                        std::get<A2sPlayers>(parseA2sReply(reply)).rows.size() < 3)
                << length;
        }
    }
}

// --- The exchanges without the network ---------------------------------------------------------

TEST(A2sConversation, AnswersChallengesForInfoThenPlayers) {
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::A2S);
    EXPECT_EQ(talk->firstRequest(), a2sInfoRequest());
    ConversationStep step = talk->onDatagram(a2sChallengeReply(11));
    EXPECT_EQ(step.send, a2sInfoRequest(11));
    EXPECT_FALSE(step.outcome);
    EXPECT_TRUE(talk->onDatagram(a2sChallengeReply(11)).send.isEmpty());  // a resent copy's
    EXPECT_TRUE(talk->onDatagram("garbage").send.isEmpty());
    step = talk->onDatagram(a2sSourceInfoReply({"Srv", "map", "f", "g", 2, 8}));
    EXPECT_EQ(step.send, a2sPlayerRequest());
    step = talk->onDatagram(a2sChallengeReply(11));  // servers reuse it for the players
    EXPECT_EQ(step.send, a2sPlayerRequest(11));
    EXPECT_EQ(talk->onTimeout().state, State::Online);  // info already known
    step = talk->onDatagram(a2sPlayerReply({{"p", 4, 1.f}}));
    ASSERT_TRUE(step.outcome);
    EXPECT_EQ(step.outcome->state, State::Online);
    EXPECT_EQ(step.outcome->name, u"Srv"_s);
    EXPECT_EQ(step.outcome->players, 2);
    EXPECT_EQ(step.outcome->maxPlayers, 8);
    ASSERT_EQ(step.outcome->rows.size(), 1);
    EXPECT_EQ(step.outcome->rows[0].score, 4);
}

TEST(A2sConversation, GivesUpAfterTooManyChallenges) {
    // Without info the server is not answering; with info it is online without rows.
    for (const bool infoFirst : {false, true}) {
        const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::A2S);
        talk->firstRequest();
        if (infoFirst) {
            talk->onDatagram(a2sSourceInfoReply({}));
        }
        for (int round = 1; round <= kMaxChallengeRounds; ++round) {
            EXPECT_FALSE(talk->onDatagram(a2sChallengeReply(round)).outcome) << round;
        }
        const ConversationStep last = talk->onDatagram(a2sChallengeReply(99));
        ASSERT_TRUE(last.outcome);
        EXPECT_TRUE(last.send.isEmpty());
        EXPECT_EQ(last.outcome->state, infoFirst ? State::Online : State::NotAnswering);
        EXPECT_TRUE(last.outcome->rows.isEmpty());
    }
}

TEST(A2sConversation, PlayersBeforeInfoAreIgnored) {
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::A2S);
    talk->firstRequest();
    EXPECT_FALSE(talk->onDatagram(a2sPlayerReply({{"p", 1, 1.f}})).outcome);
    EXPECT_EQ(talk->onTimeout().state, State::NotAnswering);
}

TEST(Quake3Conversation, FinishesOnTheFirstStatusReply) {
    const std::unique_ptr<QueryConversation> talk = makeConversation(QueryProtocol::Quake3);
    EXPECT_EQ(talk->firstRequest(), quake3StatusRequest());
    EXPECT_FALSE(talk->onDatagram("\xFF\xFF\xFF\xFFprint\nno\n").outcome);
    const ConversationStep step = talk->onDatagram(quake3Reply({{"sv_hostname", "x"}}, {}));
    ASSERT_TRUE(step.outcome);
    EXPECT_EQ(step.outcome->name, u"x"_s);
    EXPECT_EQ(talk->onTimeout().state, State::NotAnswering);
    EXPECT_FALSE(makeConversation(QueryProtocol::None));
}

// --- Minecraft ----------------------------------------------------------------------------------

namespace {

// An unconnected pong: id, the ping's time, the server's id, the magic, the text's length, the
// text.
QByteArray bedrockPong(const QByteArray& text, int length = -1) {
    length = length < 0 ? int(text.size()) : length;
    return QByteArray::fromHex(
               "1c00000000000000010000000000000002"
               "00ffff00fefefefefdfdfdfd12345678") +
           char(length >> 8) + char(length & 0xff) + text;
}

QByteArray varInt(quint32 value) {
    QByteArray bytes;
    for (; value > 0x7f; value >>= 7) {
        bytes.append(char(value | 0x80));
    }
    return bytes + char(value);
}

// A Java status packet (id 0, the JSON text with its length), and framed with its length.
QByteArray javaStatusPacket(const QByteArray& json) {
    return '\0' + varInt(quint32(json.size())) + json;
}
QByteArray javaStatus(const QByteArray& json) {
    return varInt(quint32(javaStatusPacket(json).size())) + javaStatusPacket(json);
}

auto shown(const std::optional<ServerStatus>& s) {
    return s ? std::tuple(s->name, s->map, s->players, s->maxPlayers, s->rows.size())
             : std::tuple(u"-"_s, QString(), -1, -1, qsizetype(-1));
}

}  // namespace

TEST(Bedrock, ReadsThePongOrNothing) {
    // The text the game's own dedicated server answers with; formatting codes go.
    EXPECT_EQ(shown(parseBedrockPong(bedrockPong("MCPE;Dedicated Server;390;1.14.60;0;10;"
                                                 "13253860892328930865;Bedrock level;Survival;1;"
                                                 "19132;19133;"))),
              std::tuple(u"Dedicated Server"_s, u"Bedrock level"_s, 0, 10, qsizetype(0)));
    EXPECT_EQ(shown(parseBedrockPong(bedrockPong("MCPE;\xc2\xa7"
                                                 "aGreen \xc2\xa7"
                                                 "r;1;1;x;-4"))),
              std::tuple(u"Green"_s, QString(), 0, 0, qsizetype(0)));
    const QByteArray text = "MCPE;Name;390;1.14.60;3;10";
    QByteArray badMagic = bedrockPong(text), otherPacket = bedrockPong(text);
    badMagic[21] = 0;
    otherPacket[0] = 0x1d;
    for (const QByteArray& datagram :
         {badMagic, otherPacket, bedrockPong("MCPE;Name;390"), bedrockPong(text, text.size() + 1),
          bedrockPong(";Name;390;1.14.60;3;10"), bedrockPong(text).first(34)}) {
        EXPECT_FALSE(parseBedrockPong(datagram)) << datagram.toHex().toStdString();
    }
    EXPECT_EQ(stripMinecraftFormatting(u"a\u00a7"_s + QChar(0xd83d) + QChar(0xde00) + u"b\u00a7"_s),
              u"ab"_s);
}

TEST(MinecraftJava, ReadsDescriptionsPlayersAndSampleNames) {
    EXPECT_EQ(shown(parseMinecraftStatus(javaStatusPacket(
                  R"({"description":{"text":"\u00a76Vireo ","extra":[{"text":"Java\n"},)"
                  R"({"extra":["second ",{"text":"line"}]}]},"players":{"online":2,"max":20,)"
                  R"("sample":[{"name":"\u00a7cSteve"},{"id":"y"},{"name":"Alex"}]}})"))),
              std::tuple(u"Vireo Java"_s, u"second line"_s, 2, 20, qsizetype(2)));
    EXPECT_EQ(shown(parseMinecraftStatus(javaStatusPacket(R"({"description":"A\u0007B"})"))),
              std::tuple(u"AB"_s, QString(), 0, 0, qsizetype(0)));
    for (const QByteArray& json : {QByteArray("[1]"), QByteArray("\"text\""), QByteArray("{")}) {
        EXPECT_FALSE(parseMinecraftStatus(javaStatusPacket(json))) << json.toStdString();
    }
}

TEST(MinecraftJava, PacketsArriveInAnyPiecesAndHostileFramesBreakTheStream) {
    MinecraftPackets packets;
    QByteArray packet;
    for (const char byte : javaStatus("{}") + minecraftPingRequest(7)) {
        packets.add(QByteArrayView(&byte, 1));
    }
    EXPECT_EQ(packets.next(packet), MinecraftPackets::Next::Packet);
    EXPECT_TRUE(parseMinecraftStatus(packet));
    EXPECT_EQ(packets.next(packet), MinecraftPackets::Next::Packet);
    EXPECT_TRUE(isMinecraftPong(packet, 7));
    EXPECT_EQ(packets.next(packet), MinecraftPackets::Next::NeedMore);
    // A length that never ends, one past the bound, an empty packet: broken for good.
    for (const QByteArray& hostile :
         {QByteArray(6, char(0x80)), varInt(MinecraftPackets::kMaxPacket + 1), varInt(0)}) {
        MinecraftPackets broken;
        broken.add(hostile + javaStatus("{}"));
        EXPECT_EQ(broken.next(packet), MinecraftPackets::Next::Broken) << hostile.toHex().data();
        EXPECT_EQ(broken.next(packet), MinecraftPackets::Next::Broken);
    }
}

TEST(MinecraftJavaConversation, StatusThenPingThenDone) {
    const auto talk = makeConversation(QueryProtocol::MinecraftJava, u"h"_s, 1);
    EXPECT_TRUE(talk->overStream());
    const ConversationStep afterStatus = talk->onDatagram(javaStatus(R"({"description":"x"})"));
    ASSERT_FALSE(afterStatus.outcome || afterStatus.send.isEmpty());
    EXPECT_EQ(talk->onTimeout().name, u"x"_s);  // no pong: online all the same
    const ConversationStep done = talk->onDatagram(afterStatus.send);  // an echoed ping is a pong
    ASSERT_TRUE(done.outcome);
    EXPECT_GE(done.outcome->latencyMs, 0);
    // A first packet that is not a status ends the exchange.
    const auto other = makeConversation(QueryProtocol::MinecraftJava, u"h"_s, 1);
    EXPECT_EQ(other->onDatagram(minecraftPingRequest(1)).outcome->state, State::NotAnswering);
}

TEST(MinecraftJava, OnlyASmallRealPngIsTakenForTheIcon) {
    const auto png = [](quint32 width, quint32 height) {
        QByteArray header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
        for (const quint32 side : {width, height}) {
            header += QByteArray::fromHex(QByteArray::number(side, 16).rightJustified(8, '0'));
        }
        return header + QByteArray(9, '\0');  // depth, colour type... and the rest of a PNG
    };
    const auto favicon = [](const QByteArray& bytes, const char* type = "png") {
        return u"data:image/%1;base64,"_s.arg(QLatin1String(type)) +
               QString::fromLatin1(bytes.toBase64());
    };
    EXPECT_EQ(serverIconPng(favicon(png(64, 64))), png(64, 64));
    EXPECT_EQ(serverIconPng(favicon(png(1, 16))), png(1, 16));
    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a464946") + QByteArray(30, '\0');
    for (const QString& bad :
         {favicon(png(4096, 4096)), favicon(png(65, 1)), favicon(png(0, 8)), favicon(jpeg),
          favicon(png(16, 16) + QByteArray(kMaxIconBytes, '\0')), favicon(png(8, 8), "gif"),
          u"data:image/png;base64,!!"_s}) {
        EXPECT_TRUE(serverIconPng(bad).isEmpty()) << bad.left(60).toStdString();
    }
}
