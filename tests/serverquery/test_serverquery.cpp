#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <netinet/in.h>

#include <atomic>
#include <future>

#include "serverquery/gametypes.h"
#include "serverquery/hostlookup.h"
#include "serverquery/queryconversation.h"
#include "serverquery/serverquery.h"
#include "serverquery/statusview.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/waits.h"

using namespace tamarin;
using namespace tamarin::fake;
using namespace Qt::StringLiterals;

namespace {

using State = ServerStatus::State;

constexpr int kTimeoutMs = 300;
// Long enough for any loopback answer or the query's own timeout, short enough to keep tests fast.
constexpr int kWaitMs = kTimeoutMs + 1000;

class ServerQueryTest : public ::testing::Test {
  protected:
    ServerQueryTest() { query.setTimeoutMs(kTimeoutMs); }

    // Runs one query to its end and returns what it reported.
    ServerStatus run(const QString& host, quint16 port, QueryProtocol protocol) {
        QSignalSpy spy(&query, &ServerQuery::finished);
        elapsed.start();
        query.start(host, port, protocol);
        EXPECT_TRUE(query.isRunning());
        if (!spy.wait(kWaitMs)) {
            ADD_FAILURE() << "the query never finished";
            return {};
        }
        elapsedMs = elapsed.elapsed();
        EXPECT_FALSE(query.isRunning());
        tamarin::testing::runQueuedEvents();  // nothing more may come
        EXPECT_EQ(spy.count(), 1);
        return spy.first().first().value<ServerStatus>();
    }

    ServerStatus run(const FakeServer& server, QueryProtocol protocol) {
        EXPECT_TRUE(server.isListening());
        return run(QStringLiteral("127.0.0.1"), server.port(), protocol);
    }

    ServerQuery query;
    QElapsedTimer elapsed;
    qint64 elapsedMs = 0;
};

QStringList names(const ServerStatus& status) {
    QStringList list;
    for (const PlayerRow& row : status.rows) {
        list.append(row.name);
    }
    return list;
}

}  // namespace

TEST_F(ServerQueryTest, Quake3ServerIsShownAsItAnswered) {
    FakeQuake3Server server;
    const ServerStatus status = run(server, QueryProtocol::Quake3);
    // The fields themselves are the parser's tests; here, that the socket path delivers them.
    EXPECT_EQ(status.state, State::Online);
    EXPECT_EQ(names(status), (QStringList{u"Visor"_s, u"Sarge"_s}));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(ServerQueryTest, A2sServersAreShownWithTheirPlayers) {
    using Split = FakeA2sServer::Split;
    const struct {
        const char* what;
        std::optional<quint32> challenge;
        Split split;
        bool reversed;
        bool goldSrc;
        int requests;
    } cases[] = {
        {"plain", std::nullopt, Split::None, false, false, 2},
        {"challenge", 0x12345678, Split::None, false, false, 4},
        {"GoldSrc info", 0x01, Split::None, false, true, 4},
        {"Source split", 0x02, Split::Source, false, false, 4},
        {"Source split reversed", std::nullopt, Split::Source, true, false, 2},
        {"GoldSrc split reversed", 0x03, Split::GoldSrc, true, true, 4},
    };
    for (const auto& c : cases) {
        FakeA2sServer server;
        server.setChallenge(c.challenge);
        server.setSplit(c.split, 16, c.reversed);
        const A2sInfoFields info{"Source One", "cp_well", "tf", "TF2", 2, 24};
        server.setInfoReply(c.goldSrc ? a2sGoldSrcInfoReply(info) : a2sSourceInfoReply(info));
        const ServerStatus status = run(server, QueryProtocol::A2S);
        EXPECT_EQ(status.state, State::Online) << c.what;
        EXPECT_EQ(status.name, u"Source One"_s) << c.what;
        EXPECT_EQ(status.map, u"cp_well"_s) << c.what;
        EXPECT_EQ(status.players, 2) << c.what;
        EXPECT_EQ(status.maxPlayers, 24) << c.what;
        EXPECT_EQ(names(status), (QStringList{u"alpha"_s, u"beta"_s})) << c.what;
        EXPECT_EQ(server.requests().size(), c.requests) << c.what;
        EXPECT_LT(elapsedMs, kTimeoutMs) << c.what;
    }
}

TEST_F(ServerQueryTest, InfoWithoutPlayersIsOnlineWithoutRowsAtTheTimeout) {
    FakeA2sServer server;
    server.setAnswerPlayers(false);
    const ServerStatus status = run(server, QueryProtocol::A2S);
    EXPECT_EQ(status.state, State::Online);
    EXPECT_EQ(status.name, u"Fake Server"_s);
    EXPECT_TRUE(status.rows.isEmpty());
    EXPECT_GE(elapsedMs, kTimeoutMs - 20);
}

TEST_F(ServerQueryTest, EndlessChallengesEndTheQuery) {
    FakeA2sServer server;
    server.setChallenge(1);
    server.setRotateChallenge(true);
    EXPECT_EQ(run(server, QueryProtocol::A2S).state, State::NotAnswering);
    EXPECT_EQ(server.requests().size(), 1 + kMaxChallengeRounds);
}

TEST_F(ServerQueryTest, UnansweredQueriesEndAtTheTimeout) {
    FakeQuake3Server silent;
    silent.setSilent(true);
    FakeQuake3Server otherPort;
    otherPort.setReplyFromOtherPort(true);
    FakeA2sServer otherPortA2s;
    otherPortA2s.setReplyFromOtherPort(true);
    FakeQuake3Server hostile;
    hostile.setReplies({"", "\xFF\xFF\xFF\xFFstatusResponse", "\xFF\xFF\xFF\xFFprint\n",
                        QByteArray(1400, '\xFF')});
    const struct {
        const char* what;
        const FakeServer& server;
        QueryProtocol protocol;
    } cases[] = {
        {"silent", silent, QueryProtocol::Quake3},
        {"wrong port", otherPort, QueryProtocol::Quake3},
        {"wrong port A2S", otherPortA2s, QueryProtocol::A2S},
        {"garbage", hostile, QueryProtocol::Quake3},
        {"other protocol", hostile, QueryProtocol::A2S},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.server, c.protocol).state, State::NotAnswering) << c.what;
        EXPECT_GE(elapsedMs, kTimeoutMs - 20) << c.what;
        EXPECT_LT(elapsedMs, kTimeoutMs + 500) << c.what;
        EXPECT_FALSE(c.server.requests().isEmpty()) << c.what;
    }
    EXPECT_EQ(silent.requests().size(), 2);  // the request, and its one resend
}

TEST_F(ServerQueryTest, ClosedPortIsRefusedAtOnce) {
    for (const QueryProtocol protocol : {QueryProtocol::Quake3, QueryProtocol::A2S}) {
        EXPECT_EQ(run(u"127.0.0.1"_s, closedUdpPort(), protocol).state, State::Refused);
        EXPECT_LT(elapsedMs, kTimeoutMs);
    }
}

TEST_F(ServerQueryTest, BadAddressesAndUnknownProtocols) {
    const struct {
        QString host;
        quint16 port;
        QueryProtocol protocol;
        State state;
    } cases[] = {
        {QString(), 27960, QueryProtocol::Quake3, State::BadAddress},
        {u"  "_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        {u"127.0.0.1"_s, 0, QueryProtocol::A2S, State::BadAddress},
        {u"bad host name"_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        {u"a..b"_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        // The resolver's old shorthand for IPv4 ("24567" is 0.0.95.247) is a typing mistake.
        {u"24567"_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        {u"127.1"_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        {u"0x7f.1"_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        // A NUL would cut the name short for the resolver, which would answer for 127.0.0.1.
        {u"127.0.0.1"_s + QChar(0) + u"evil"_s, 27960, QueryProtocol::Quake3, State::BadAddress},
        {u"127.0.0.1"_s, 27960, QueryProtocol::None, State::NotAnswering},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.host, c.port, c.protocol).state, c.state) << c.host.toStdString();
        EXPECT_LT(elapsedMs, kTimeoutMs) << c.host.toStdString();
    }
}

// A server that answers in another protocol is not answering this one, yet it is there.
TEST_F(ServerQueryTest, AnAnswerInAnotherProtocolIsToldApartFromSilence) {
    FakeScriptedServer other([](const QByteArray&) { return QList<QByteArray>{"HTTP/1.0 400"}; });
    const ServerStatus status = run(other, QueryProtocol::Quake3);
    EXPECT_EQ(status.state, State::NotAnswering);
    EXPECT_EQ(status.failure, ServerStatus::Failure::AnsweredOtherwise);
    FakeQuake3Server silent;
    silent.setSilent(true);
    EXPECT_EQ(run(silent, QueryProtocol::Quake3).failure, ServerStatus::Failure::Unknown);
}

TEST(StatusWords, AFailureSaysWhyWhereThatIsKnown) {
    using Failure = ServerStatus::Failure;
    const struct {
        State state;
        Failure failure;
        quint16 queriedPort;
        QString reason;
    } cases[] = {
        {State::NotAnswering, Failure::Unknown, 2456,
         u"no answer on 2456; Valheim answers queries on 2457, its query port"_s},
        {State::NotAnswering, Failure::Unknown, 2457, u"no answer on 2457"_s},
        {State::NotAnswering, Failure::AnsweredOtherwise, 2457,
         u"answered, but not as a Valheim server"_s},
        {State::Refused, Failure::Unknown, 2456,
         u"refused: nothing listens on that port; Valheim answers queries on 2457, its query port"_s},
        {State::BadAddress, Failure::HostNotFound, 2457, u"host name not found"_s},
        {State::BadAddress, Failure::Unknown, 2457, QString()},  // a malformed address says so
        {State::NotAnswering, Failure::Unknown, 0, QString()},   // never asked
        {State::Online, Failure::Unknown, 2457, QString()},
    };
    for (const auto& c : cases) {
        StatusFacts facts;
        facts.status = ServerStatus::withState(c.state);
        facts.status.failure = c.failure;
        facts.gameType = u"valheim"_s;
        facts.address = u"192.0.2.7:2456"_s;
        facts.gamePort = 2456;
        facts.queriedPort = c.queriedPort;
        const StatusView view = describeStatus(facts, 0);
        EXPECT_EQ(view.reason, c.reason);
        if (!c.reason.isEmpty()) {
            EXPECT_EQ(view.summary, c.reason + u"  \u00b7  Valheim"_s);
        }
    }
}

TEST_F(ServerQueryTest, HostNamesAreLookedUp) {
    FakeQuake3Server server;
    EXPECT_EQ(run(u"localhost"_s, server.port(), QueryProtocol::Quake3).state, State::Online);
}

TEST_F(ServerQueryTest, WorksOverIpv6Loopback) {
    FakeQuake3Server server(QHostAddress::LocalHostIPv6);
    if (!server.isListening()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    EXPECT_EQ(run(u"::1"_s, server.port(), QueryProtocol::Quake3).state, State::Online);
    EXPECT_EQ(run(u"[::1]"_s, server.port(), QueryProtocol::Quake3).state, State::Online);
}

TEST_F(ServerQueryTest, CancelledQueriesReportNothing) {
    FakeQuake3Server server;
    QSignalSpy spy(&query, &ServerQuery::finished);
    for (const QString& host : {u"127.0.0.1"_s, u"localhost"_s}) {
        query.start(host, server.port(), QueryProtocol::Quake3);
        QCoreApplication::processEvents();  // a name is now being looked up
        query.cancel();
        EXPECT_FALSE(query.isRunning());
    }
    // Deleted while its lookup still runs: the late answer must find nothing to report to.
    auto* doomed = new ServerQuery;
    doomed->start(u"localhost"_s, server.port(), QueryProtocol::Quake3);
    QCoreApplication::processEvents();
    delete doomed;
    tamarin::testing::waitPast(kTimeoutMs + 100);  // its lookup and its timeout are over by then
    EXPECT_EQ(spy.count(), 0);
}

TEST(HostLookupTest, NumericAddressesNeedNoNameServer) {
    const std::optional<Endpoint> v4 = numericEndpoint(u"127.0.0.1"_s, 27960);
    ASSERT_TRUE(v4);
    EXPECT_EQ(v4->address.ss_family, AF_INET);
    EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in&>(v4->address).sin_port), 27960);
    const std::optional<Endpoint> v6 = numericEndpoint(u"::1"_s, 27015);
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->address.ss_family, AF_INET6);
    for (const QString& notNumeric :
         {u"localhost"_s, QString(), u"127.0.0.1 "_s, u"127.0.0.1"_s + QChar(0) + u"x"_s}) {
        EXPECT_FALSE(numericEndpoint(notNumeric, 27960)) << notNumeric.toStdString();
    }
}

TEST(HostLookupTest, NamesPreferTheirIpv4Address) {
    QFuture<std::optional<Endpoint>> future = lookUpEndpoint(u"localhost"_s, 27960);
    future.waitForFinished();
    ASSERT_EQ(future.resultCount(), 1);
    const std::optional<Endpoint> found = future.result();
    ASSERT_TRUE(found);
    const auto& address = reinterpret_cast<const sockaddr_in&>(found->address);
    ASSERT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), INADDR_LOOPBACK);
}

TEST(HostLookupTest, AStalledNameHoldsOneLookupAndOthersAreAnsweredBesideIt) {
    std::atomic<int> calls{0};
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    setResolverForTesting([&](const QByteArray& name, quint16 port) {
        ++calls;
        if (name.startsWith("stalled")) {
            released.wait();
        }
        return numericEndpoint(u"127.0.0.1"_s, port);
    });
    QList<QFuture<std::optional<Endpoint>>> stalled;
    for (int i = 0; i < 100; ++i) {
        stalled << lookUpEndpoint(u"stalled-%1.example"_s.arg(i % 10), 27960);
    }
    QFuture<std::optional<Endpoint>> quick = lookUpEndpoint(u"quick.example"_s, 27960);
    quick.waitForFinished();
    EXPECT_EQ(quick.resultCount(), 1);
    release.set_value();
    for (QFuture<std::optional<Endpoint>>& joined : stalled) {
        EXPECT_EQ(joined.results().size(), 1);  // waits for it
    }
    EXPECT_EQ(calls, 11);  // one lookup per name
    setResolverForTesting(resolveName);
}

TEST_F(ServerQueryTest, RestartReportsOnlyTheNewQuery) {
    // The first server answers sooner than the second: a stale reply would arrive first.
    FakeQuake3Server first;
    first.setReplies({quake3Reply({{"sv_hostname", "first"}}, {})});
    first.setReplyDelayMs(30);
    FakeQuake3Server second;
    second.setReplies({quake3Reply({{"sv_hostname", "second"}}, {})});
    second.setReplyDelayMs(80);
    query.start(u"127.0.0.1"_s, first.port(), QueryProtocol::Quake3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !first.requests().isEmpty(); }, kWaitMs));
    EXPECT_EQ(run(u"127.0.0.1"_s, second.port(), QueryProtocol::Quake3).name, u"second"_s);
}

TEST_F(ServerQueryTest, FinishedMayStartTheNextQueryOrDeleteTheQuery) {
    FakeQuake3Server server;
    auto* own = new ServerQuery;
    own->setTimeoutMs(kTimeoutMs);
    int finishedCount = 0;
    QObject::connect(own, &ServerQuery::finished, own, [&](const ServerStatus& status) {
        EXPECT_EQ(status.state, State::Online);
        if (++finishedCount == 1) {
            own->start(u"127.0.0.1"_s, server.port(), QueryProtocol::Quake3);
        } else {
            delete own;
        }
    });
    own->start(u"127.0.0.1"_s, server.port(), QueryProtocol::Quake3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return finishedCount == 2; }, kWaitMs));
    tamarin::testing::waitPast(kTimeoutMs + 50);  // past the deleted query's timeout
    EXPECT_EQ(finishedCount, 2);
}

TEST_F(ServerQueryTest, ALostRequestIsSentAgainWithinTheTimeout) {
    FakeA2sServer server;
    server.setChallenge(7);
    server.setDropFirst(1);
    EXPECT_EQ(run(server, QueryProtocol::A2S).rows.size(), 2);
    EXPECT_EQ(server.requests().size(), 5);  // the info request twice, then the handshake
}

// --- Over TCP ------------------------------------------------------------------------------------

namespace {

// A TCP listener on loopback. The system completes connections to it even before (or without)
// accept(), so a peer that never accepts is one that connects and never answers.
class TcpListener {
  public:
    TcpListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        descriptor_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(descriptor_, 8);
        ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~TcpListener() { ::close(descriptor_); }

    quint16 port() const { return port_; }
    // Accepts a connection for each reply in turn, on a thread: reads what comes first, answers
    // the reply and closes. Gives what each connection asked, one after the other.
    std::future<QByteArray> answerInTurn(const QList<QByteArray>& replies) {
        return std::async(std::launch::async, [this, replies] {
            QByteArray asked;
            for (const QByteArray& reply : replies) {
                const int peer = ::accept(descriptor_, nullptr, nullptr);
                QByteArray first(512, '\0');
                first.resize(std::max<ssize_t>(0, ::recv(peer, first.data(), first.size(), 0)));
                ::send(peer, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
                ::close(peer);
                asked += first;
            }
            return asked;
        });
    }

  private:
    int descriptor_ = -1;
    quint16 port_ = 0;
};

}  // namespace

TEST_F(ServerQueryTest, MinecraftJavaOverTcpAnswersIsSilentOrIsRefused) {
    TcpListener server;
    const QByteArray json = R"({"description":"x"})";
    const QByteArray packet = QByteArray(1, '\0') + char(json.size()) + json;
    std::future<QByteArray> asked = server.answerInTurn({char(packet.size()) + packet});
    const ServerStatus status = run(u"127.0.0.1"_s, server.port(), QueryProtocol::MinecraftJava);
    EXPECT_EQ(status.name, u"x"_s);  // closed after the status: online without a pong
    EXPECT_LT(elapsedMs, kTimeoutMs);
    EXPECT_TRUE(asked.get().contains("127.0.0.1"));

    // A server from before 1.7 closes on the handshake, and is asked again the old way.
    TcpListener legacy;
    const QString kick = u"\u00a71"_s + QChar(0) + u"74"_s + QChar(0) + u"1.6.4"_s + QChar(0) +
                         u"Old \u00a7cone"_s + QChar(0) + u"3"_s + QChar(0) + u"20"_s;
    QByteArray kickPacket = QByteArray("\xff") + char(0) + char(kick.size());
    for (const QChar c : kick) {
        kickPacket += char(c.unicode() >> 8) + QByteArray(1, char(c.unicode() & 0xff));
    }
    std::future<QByteArray> legacyAsked = legacy.answerInTurn({{}, kickPacket});
    const ServerStatus old = run(u"127.0.0.1"_s, legacy.port(), QueryProtocol::MinecraftJava);
    EXPECT_EQ(std::tuple(old.name, old.players, old.maxPlayers), std::tuple(u"Old one"_s, 3, 20));
    EXPECT_TRUE(legacyAsked.get().endsWith("\xfe\x01"));

    TcpListener silent;  // connects, never answers
    EXPECT_EQ(run(u"127.0.0.1"_s, silent.port(), QueryProtocol::MinecraftJava).state,
              State::NotAnswering);
    quint16 closed = 0;
    {
        const TcpListener gone;
        closed = gone.port();
    }
    EXPECT_EQ(run(u"127.0.0.1"_s, closed, QueryProtocol::MinecraftJava).state, State::Refused);
}

// A name at Minecraft's default port is looked up by its service record first, as the game's
// client does: here served by dnsmasq, a real name server, on a loopback port of its own.
TEST_F(ServerQueryTest, MinecraftNamesFollowTheirServiceRecord) {
    TcpListener server;
    quint16 dnsPort = 0;
    QProcess dnsmasq;
    dnsmasq.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray said;
    // A free UDP port may be taken for TCP, which dnsmasq listens on too: then another port.
    for (int attempt = 0; attempt < 5 && !said.contains("started"); ++attempt) {
        dnsPort = closedUdpPort();
        dnsmasq.start(
            u"dnsmasq"_s,
            {u"--keep-in-foreground"_s, u"--port=%1"_s.arg(dnsPort),
             u"--listen-address=127.0.0.1"_s, u"--bind-interfaces"_s, u"--no-resolv"_s,
             u"--no-hosts"_s, u"--conf-file=/dev/null"_s, u"--pid-file="_s, u"--log-facility=-"_s,
             u"--srv-host=_minecraft._tcp.play.vireo.test,mc.vireo.test,%1,0,5"_s.arg(
                 server.port())});
        ASSERT_TRUE(dnsmasq.waitForStarted()) << "dnsmasq is not installed";
        // It says "started" once its sockets listen, or why it could not, and ends.
        said.clear();
        while (!said.contains("started") && dnsmasq.waitForReadyRead(30000)) {
            said += dnsmasq.readAll();
        }
        if (!said.contains("started")) {
            dnsmasq.waitForFinished(5000);
        }
    }
    setServiceNameServerForTesting("127.0.0.1", dnsPort);
    const std::optional<ServiceTarget> found = lookUpService("_minecraft._tcp.play.vireo.test");
    ASSERT_TRUE(found) << said.constData();
    EXPECT_EQ(found->target, "mc.vireo.test");
    QList<QByteArray> resolved;
    setResolverForTesting([&](const QByteArray& name, quint16 port) {
        resolved << name + ':' + QByteArray::number(port);
        return numericEndpoint(u"127.0.0.1"_s, port);
    });
    const QByteArray json = R"({"description":"srv"})";
    const QByteArray packet = QByteArray(1, '\0') + char(json.size()) + json;
    std::future<QByteArray> asked = server.answerInTurn({char(packet.size()) + packet});
    EXPECT_EQ(run(u"play.vireo.test"_s, 25565, QueryProtocol::MinecraftJava).name, u"srv"_s);
    EXPECT_TRUE(asked.get().contains("play.vireo.test"));  // the name as typed
    // No record: the name itself; another port: no record asked for.
    run(u"none.vireo.test"_s, 25565, QueryProtocol::MinecraftJava);
    run(u"play.vireo.test"_s, 25566, QueryProtocol::MinecraftJava);
    EXPECT_EQ(resolved, QList<QByteArray>({"mc.vireo.test:" + QByteArray::number(server.port()),
                                           "none.vireo.test:25565", "play.vireo.test:25566"}));
    setResolverForTesting(resolveName);
    setServiceNameServerForTesting({}, 0);
    dnsmasq.terminate();
    dnsmasq.waitForFinished();
}
