#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

#include "gateway/addresspolicy.h"
#include "gateway/gatewayoptions.h"
#include "gateway/gatewayserver.h"
#include "gateway/relaypolicy.h"
#include "serverquery/gametypes.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/waits.h"

using namespace tamarin;
using namespace tamarin::gateway;

namespace {

struct Reply {
    int status = 0;  // 0: no answer (connection closed or still silent)
    QByteArray head;
    QByteArray body;
    QByteArray header(const QByteArray& name) const {
        for (const QByteArray& line : head.split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':')) {
                return line.mid(name.size() + 1).trimmed();
            }
        }
        return {};
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

Reply parse(const QByteArray& data) {
    const qsizetype end = data.indexOf("\r\n\r\n");
    Reply reply;
    if (end < 0) {
        return reply;
    }
    reply.head = data.left(end);
    reply.body = data.mid(end + 4);
    if (reply.body.size() >= reply.header("Content-Length").toInt()) {
        reply.status = data.mid(9, 3).toInt();
    }
    return reply;
}

// Raw HTTP over one connection each, so tests can send what no client library would.
std::vector<Reply> exchange(quint16 port, const QList<QByteArray>& requests, int waitMs = 5000) {
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<QByteArray> received(requests.size());
    for (const QByteArray& request : requests) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, port);
        sockets.back()->write(request);
    }
    const auto allDone = [&] {
        bool done = true;
        for (size_t i = 0; i < sockets.size(); ++i) {
            received[i] += sockets[i]->readAll();
            done = done && (parse(received[i]).status != 0 ||
                            sockets[i]->state() == QAbstractSocket::UnconnectedState);
        }
        return done;
    };
    (void)QTest::qWaitFor(allDone, waitMs);
    std::vector<Reply> replies;
    for (const QByteArray& data : received) {
        replies.push_back(parse(data));
    }
    return replies;
}

QByteArray get(const QString& path, const QByteArray& headers = {}) {
    return "GET " + path.toUtf8() + " HTTP/1.1\r\nHost: gateway\r\n" + headers + "\r\n";
}

class GatewayTest : public ::testing::Test {
  protected:
    void start(QStringList args = {}) {
        args = QStringList{"vireo-gateway",
                           "--listen",
                           "127.0.0.1:0",
                           "--rate",
                           "0",
                           "--max-connections-per-client",  // the tests stand for many clients
                           "100000",
                           "--allow",
                           QString("q3:127.0.0.1:%1").arg(q3.port()),
                           "--allow",
                           QString("tf2:[::ffff:127.0.0.1]:%1").arg(a2s.port())} +
               args;
        auto options = parseGatewayOptions(args);
        ASSERT_TRUE(std::holds_alternative<GatewayOptions>(options));
        server = std::make_unique<GatewayServer>(std::get<GatewayOptions>(options));
        port = std::get<quint16>(server->start());
    }
    Reply fetch(const QString& path, const QByteArray& headers = {}) {
        return exchange(port, {get(path, headers)}).front();
    }
    QString q3Path(const char* page = "status.json") const {
        return QString("/%1?game=Q3&host=127.0.0.1&port=%2").arg(page).arg(q3.port());
    }

    fake::FakeQuake3Server q3;
    fake::FakeA2sServer a2s{QHostAddress::LocalHost};
    std::unique_ptr<GatewayServer> server;
    quint16 port = 0;
};

TEST_F(GatewayTest, AnswersStatusOfQuake3AndA2sServers) {
    start({"--allow-origin", "https://a.example"});
    const Reply quake = fetch(q3Path(), "Origin: https://a.example\r\n");
    EXPECT_EQ(quake.status, 200);
    EXPECT_EQ(quake.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(quake.header("Access-Control-Allow-Origin"), "https://a.example");
    EXPECT_EQ(quake.header("Access-Control-Expose-Headers"), "Date");  // the page judges age by it
    const Reply other = fetch(q3Path(), "Origin: https://b.example\r\n");
    EXPECT_EQ(other.header("Access-Control-Allow-Origin"), "");
    EXPECT_EQ(other.header("Vary"), "Origin");
    const QJsonObject q = quake.json();
    EXPECT_EQ(q["state"], "online");
    EXPECT_EQ(q["game"], "q3");
    EXPECT_EQ(q["maxPlayers"], 16);
    EXPECT_EQ(q["rows"].toArray().size(), 2);
    EXPECT_EQ(q["rows"].toArray()[1].toObject()["name"], "Sarge");
    EXPECT_EQ(q["stale"], false);
    const QJsonObject source =
        fetch(QString("/status.json?game=tf2&host=[::ffff:127.0.0.1]&port=%1").arg(a2s.port()))
            .json();
    EXPECT_EQ(source["state"], "online");
    EXPECT_EQ(source["name"], "Fake Server");
    EXPECT_EQ(source["map"], "cp_fake");
}

// The page names Valheim's game port; the gateway asks the port after it, as the game's table says,
// and nothing else: an allow-list entry opens exactly one query target.
TEST_F(GatewayTest, AsksAGamesQueryPortAndSaysWhyAServerFailed) {
    const quint16 gamePort = a2s.port() - 1;
    const quint16 closed = fake::closedUdpPort();
    start({"--allow", QString("valheim:127.0.0.1:%1").arg(gamePort), "--allow",
           QString("ut:127.0.0.1:%1").arg(closed - 1)});
    const QJsonObject valheim =
        fetch(QString("/status.json?game=valheim&host=127.0.0.1&port=%1").arg(gamePort)).json();
    EXPECT_EQ(valheim["state"], "online");
    EXPECT_EQ(valheim["port"], gamePort);
    EXPECT_TRUE(valheim["summary"].toString().endsWith(QString(":%1").arg(gamePort)));
    EXPECT_EQ(
        fetch(QString("/status.json?game=valheim&host=127.0.0.1&port=%1").arg(a2s.port())).status,
        403);
    // An old id is the same game and the same entry; its server is away.
    const QJsonObject ut =
        fetch(QString("/status.json?game=unrealtournament&host=127.0.0.1&port=%1").arg(closed - 1))
            .json();
    EXPECT_EQ(ut["game"], "unrealtournament");
    EXPECT_EQ(ut["reason"], "refused: nothing listens on that port");
}

TEST_F(GatewayTest, RefusesBadRequestsWithTheirState) {
    start();
    const struct {
        QByteArray request;
        int status;
        const char* state;
    } cases[] = {
        {get("/status.json?host=127.0.0.1&port=1"), 400, "bad request"},
        {get("/status.json?game=doom&host=127.0.0.1&port=1"), 400, "unknown game"},
        {get("/status.json?game=q3&host=127.0.0.1&port=0"), 400, "bad request"},
        {get("/status.json?game=q3&host=127.0.0.1&port=65536"), 400, "bad request"},
        {get("/status.json?game=q3&host=a%20b&port=27960"), 400, "bad request"},
        {get("/status.json?game=q3&host=127.0.0.2&port=27960"), 403, "not allowed"},
        {get("/banner.svg?game=q3&host=127.0.0.1&port=27960&details=2"), 400, "bad request"},
        {get("/nothing"), 404, "bad request"},
        {"POST /status.json HTTP/1.1\r\nHost: g\r\nContent-Length: 0\r\n\r\n", 405, "bad request"},
    };
    for (const auto& c : cases) {
        const Reply reply = exchange(port, {c.request}).front();
        EXPECT_EQ(reply.status, c.status) << c.request.constData();
        EXPECT_EQ(reply.json()["state"], c.state) << c.request.constData();
    }
    EXPECT_TRUE(q3.requests().isEmpty());
}

TEST_F(GatewayTest, ManyPagesAtOnceCauseOneQuery) {
    q3.setReplyDelayMs(300);
    start();
    std::vector<std::unique_ptr<QTcpSocket>> quitters;  // they hang up while the query runs
    for (int i = 0; i < 10; ++i) {
        quitters.push_back(std::make_unique<QTcpSocket>());
        quitters.back()->connectToHost(QHostAddress::LocalHost, port);
        quitters.back()->write(get(q3Path()));
    }
    // They hang up once their requests have started the one query.
    ASSERT_TRUE(QTest::qWaitFor([&] { return q3.requests().size() == 1; }, 60000));
    quitters.clear();
    const std::vector<Reply> replies = exchange(port, QList<QByteArray>(200, get(q3Path())));
    for (const Reply& reply : replies) {
        ASSERT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, replies.front().body);
    }
    EXPECT_EQ(q3.requests().size(), 1);
    EXPECT_EQ(server->metrics().udpDatagrams(), 1);
}

TEST_F(GatewayTest, AnswersCarryFreshnessAndRevalidate) {
    start({"--min-refresh", "1"});
    const Reply first = fetch(q3Path());
    EXPECT_EQ(first.header("Cache-Control"),
              "public, max-age=1, stale-while-revalidate=1, stale-if-error=3");
    const Reply again = fetch(q3Path(), "If-None-Match: " + first.header("ETag") + "\r\n");
    EXPECT_EQ(again.status, 304);
    EXPECT_TRUE(again.body.isEmpty());
    EXPECT_EQ(q3.requests().size(), 1);
    // Asked again and again, the server is queried anew only once the answer has gone stale.
    QElapsedTimer since;
    since.start();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return fetch(q3Path()).status == 200 && q3.requests().size() == 2; }, 60000));
    EXPECT_GE(since.elapsed(), 900);
}

TEST_F(GatewayTest, FailedQueryKeepsLastGoodStatusOnceAsStale) {
    start({"--min-refresh", "1", "--query-timeout", "0.2"});
    EXPECT_EQ(fetch(q3Path()).json()["state"], "online");
    q3.setSilent(true);
    // Asked until it says "not answering": before that, exactly once, the last good status stale.
    QStringList seen;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QJsonObject json = fetch(q3Path()).json();
            const QString said = json["state"].toString() +
                                 (json["stale"].toBool() ? " stale" : "") +
                                 (json["name"].toString().isEmpty() ? "" : " named");
            if (seen.isEmpty() || seen.back() != said) {
                seen << said;
            }
            return json["state"] == "not answering";
        },
        60000));
    EXPECT_EQ(seen, QStringList({"online named", "online stale named", "not answering"}));
}

TEST_F(GatewayTest, OneQueryPerServerPerIntervalWhateverTheCacheSize) {
    fake::FakeQuake3Server third;
    start({"--cache-size", "1", "--min-refresh", "2", "--allow",
           QString("q3:127.0.0.1:%1").arg(third.port())});
    const QString a2sPath = QString("/status.json?game=tf2&host=::ffff:127.0.0.1&port=%1");
    const QList<QByteArray> round{
        get(q3Path()), get(a2sPath.arg(a2s.port())),
        get(QString("/status.json?game=q3&host=127.0.0.1&port=%1").arg(third.port()))};
    QElapsedTimer since;
    since.start();
    for (int i = 0; i < 2; ++i) {  // each server evicted by the next, then asked again at once
        for (const QByteArray& request : round) {
            EXPECT_EQ(exchange(port, {request}).front().status, 200);
        }
    }
    // The second round waited for each server's next query to be due.
    EXPECT_GE(since.elapsed(), 1900);
    EXPECT_EQ(q3.requests().size(), 2);
    EXPECT_EQ(third.requests().size(), 2);
}

TEST_F(GatewayTest, WhatIsKeptOfAServerIsBoundedWhateverItSends) {
    QList<fake::Quake3Player> players;
    for (int i = 0; i < 100; ++i) {
        players.append({i, i, QByteArray(300, 'p')});
    }
    q3.setReplies({fake::quake3Reply(
        {{"sv_hostname", QByteArray(10000, 'n')}, {"mapname", QByteArray(5000, 'm')}}, players)});
    start();
    const QJsonObject json = fetch(q3Path()).json();
    EXPECT_EQ(json["name"].toString().size(), kKeptNameLength);
    EXPECT_EQ(json["map"].toString().size(), kKeptMapLength);
    const QJsonArray rows = json["rows"].toArray();
    EXPECT_EQ(rows.size(), kKeptRows);
    EXPECT_EQ(json["rowsLeftOut"], 100 - kKeptRows);
    EXPECT_EQ(rows.first()["name"].toString().size(), kKeptPlayerNameLength);
    const Reply banner = fetch(q3Path("banner.svg") + "&details=1&rows=64");
    // Some 5 KiB of JSON, and the largest banner a page may ask for (64 rows) under 20 KiB.
    EXPECT_LT(fetch(q3Path()).body.size(), 6 * 1024);
    EXPECT_LT(banner.body.size(), 20 * 1024);
    EXPECT_TRUE(banner.body.contains("+36 more"));
}

TEST_F(GatewayTest, AClientAtItsConnectionCapLeavesOthersServed) {
    start({"--max-connections-per-client", "3"});
    std::vector<std::unique_ptr<QTcpSocket>> greedy;
    for (int i = 0; i < 4; ++i) {
        greedy.push_back(std::make_unique<QTcpSocket>());
        greedy.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return greedy.back()->state() == QAbstractSocket::UnconnectedState; }, 60000));
    QTcpSocket other;  // another client: another loopback address
    ASSERT_TRUE(other.bind(QHostAddress("127.0.0.2")));
    other.connectToHost(QHostAddress::LocalHost, port);
    other.write(get(q3Path()));
    QByteArray received;
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return parse(received += other.readAll()).status == 200; }, 60000));
    EXPECT_EQ(greedy.front()->state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(server->metrics().render().contains("reason=\"client_limit\"} 1"));
}

TEST_F(GatewayTest, AClientThatAsksAndNeverReadsIsCut) {
    start({"--request-timeout", "1"});
    QTcpSocket greedy;
    greedy.setReadBufferSize(1);  // takes nothing of its answers
    greedy.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    greedy.connectToHost(QHostAddress::LocalHost, port);
    const QByteArray requests = get("/vireo.js").repeated(10);  // well within one request's size
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (greedy.state() == QAbstractSocket::ConnectedState && greedy.bytesToWrite() == 0) {
                greedy.write(requests);
            }
            return server->metrics().render().contains("reason=\"unread\"} 1");
        },
        60000));
}

TEST_F(GatewayTest, NameResolvingToLoopbackNeedsTheAddressAllowed) {
    for (const bool literalAllowed : {false, true}) {
        QStringList args{"--allow", QString("q3:localhost:%1").arg(q3.port())};
        start(literalAllowed ? args : args.mid(0, 2));
        if (!literalAllowed) {
            server.reset();  // the fixture's list allows 127.0.0.1; this case must not
            auto options = std::get<GatewayOptions>(
                parseGatewayOptions({"gw", "--listen", "127.0.0.1:0", "--allow", args[1]}));
            server = std::make_unique<GatewayServer>(options);
            port = std::get<quint16>(server->start());
        }
        const Reply reply =
            fetch(QString("/status.json?game=q3&host=LocalHost&port=%1").arg(q3.port()));
        EXPECT_EQ(reply.status, literalAllowed ? 200 : 403);
        EXPECT_EQ(reply.json()["state"], literalAllowed ? "online" : "not allowed");
    }
}

TEST_F(GatewayTest, HostileClientsAreClosedAndOthersServedAtOnce) {
    start({"--request-timeout", "0.4", "--idle-timeout", "0.8", "--max-request-bytes", "1024"});
    std::vector<std::unique_ptr<QTcpSocket>> hostile;
    for (const QByteArray& bytes :
         {QByteArray("BREW /pot HTCPCP/1.0\r\n\x01\x02\r\n\r\n"),
          "GET /healthz HTTP/1.1\r\nX-Pad: " + QByteArray(4000, 'a') + "\r\n\r\n",
          QByteArray("GET /hea"), QByteArray()}) {
        hostile.push_back(std::make_unique<QTcpSocket>());
        hostile.back()->connectToHost(QHostAddress::LocalHost, port);
        hostile.back()->write(bytes);
    }
    QTimer trickle;  // the third keeps sending, a byte at a time, but never a whole request
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        if (hostile[2]->state() == QAbstractSocket::ConnectedState) {
            hostile[2]->write("x");
        }
    });
    trickle.start(50);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(fetch("/healthz").body, "ok");
    EXPECT_LT(timer.elapsed(), 300);
    const auto allClosed = [&] {
        return std::all_of(hostile.begin(), hostile.end(), [](const auto& s) {
            return s->state() == QAbstractSocket::UnconnectedState;
        });
    };
    EXPECT_TRUE(QTest::qWaitFor(allClosed, 2000));
    for (const char* reason : {"oversized\"} 1", "timeout\"} 2"}) {
        EXPECT_TRUE(server->metrics().render().contains(reason)) << reason;
    }
    EXPECT_EQ(fetch("/healthz").status, 200);
}

// Requests two readers could frame differently are refused and the connection closed, so a
// request hidden behind one is never answered; HTTP/1.0 without keep-alive is closed after one
// (an empty line before a request is passed over).
TEST_F(GatewayTest, AmbiguousRequestsAreRefusedAndClosed) {
    start();
    const QByteArray hidden = get("/metrics");
    const QByteArray length = QByteArray::number(hidden.size());
    const struct {
        QByteArray bytes;
        int answers;
        int status;
    } cases[] = {
        {"POST / HTTP/1.1\r\nHost: g\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n"
         "0\r\n\r\n" +
             hidden,
         1, 400},
        {"GET / HTTP/1.1\r\nHost: g\r\nContent-Length: 0\r\nContent-Length: " + length +
             "\r\n\r\n" + hidden,
         1, 400},
        {"GET /healthz HTTP/1.1\r\n\r\n" + hidden, 1, 400},
        {"GET /healthz HTTP/1.1\r\nHost : g\r\n\r\n" + hidden, 1, 400},
        {"\r\nGET /healthz HTTP/1.0\r\n\r\n" + hidden, 1, 200},
        {"GET /healthz HTTP/1.0\r\nConnection: keep-alive\r\n\r\n" + hidden, 2, 200},
    };
    for (const auto& c : cases) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(c.bytes);
        QByteArray received;
        const bool closed = QTest::qWaitFor(
            [&] {
                received += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            c.answers == 1 ? 5000 : 1000);
        EXPECT_EQ(closed, c.answers == 1) << c.bytes.constData();
        EXPECT_EQ(received.count("HTTP/1.1 "), c.answers) << received.constData();
        EXPECT_EQ(parse(received).status, c.status) << c.bytes.constData();
    }
}

TEST_F(GatewayTest, RateLimitAnswersBusyWithRetryAfter) {
    start({"--rate", "0.5", "--burst", "2"});
    const std::vector<Reply> replies = exchange(port, QList<QByteArray>(3, get("/vireo.js")));
    const int busy = int(std::count_if(replies.begin(), replies.end(), [](const Reply& r) {
        return r.status == 429 && r.header("Retry-After") == "2" && r.json()["state"] == "busy";
    }));
    EXPECT_EQ(busy, 1);
    EXPECT_EQ(fetch("/healthz").status, 200);  // monitoring is never limited
}

TEST_F(GatewayTest, HostileServerTextsStayText) {
    const QByteArray nasty = "<script>alert(1)</script>\x01&amp;\"'\xff";
    q3.setReplies({fake::quake3Reply({{"sv_hostname", nasty}, {"mapname", "]]><x/>"}},
                                     {{1, 2, "</text><a href='javascript:x'>"}})});
    start();
    const Reply json = fetch(q3Path());
    EXPECT_FALSE(json.json()["name"].toString().contains(QChar(1)));
    EXPECT_TRUE(json.json()["name"].toString().contains("<script>"));  // a string, not markup
    const Reply svg = fetch(q3Path("banner.svg") + "&details=1&rows=3");
    EXPECT_EQ(svg.header("Content-Type"), "image/svg+xml");
    QXmlStreamReader xml(svg.body);
    QStringList elements;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (xml.isStartElement()) {
            elements << xml.name().toString();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_FALSE(elements.contains("script") || elements.contains("a") || elements.contains("x"));
}

TEST_F(GatewayTest, BannerHeightFollowsDetailsAndRows) {
    start();
    const std::pair<const char*, const char*> cases[] = {{"", "height=\"43\""},
                                                         {"&details=1", "height=\"116\""},
                                                         {"&details=1&rows=2", "height=\"77\""},
                                                         {"&details=1&rows=500", "height=\"883\""}};
    for (const auto& [query, height] : cases) {
        EXPECT_TRUE(fetch(q3Path("banner.svg") + query).body.contains(height)) << query;
    }
}

TEST(GatewayOptions, ConfigFileAndCommandLineCombine) {
    QTemporaryFile config;
    ASSERT_TRUE(config.open());
    config.write(
        "# comment\n[gateway]\nlisten = [::1]:9000\nallow = q3:example.org:27960\n"
        "min-refresh = 3\n; other comment\n");
    config.close();
    const auto options = parseGatewayOptions(
        {"gw", "--config", config.fileName(), "--min-refresh", "4", "--allow", "cs:1.2.3.4:27015"});
    ASSERT_TRUE(std::holds_alternative<GatewayOptions>(options));
    const GatewayOptions& o = std::get<GatewayOptions>(options);
    EXPECT_EQ(o.listenAddress, QHostAddress("::1"));
    EXPECT_EQ(o.listenPort, 9000);
    EXPECT_EQ(o.cache.minRefreshSeconds, 4);
    EXPECT_EQ(o.allow.size(), 2);
    for (const char* bad : {"listen 1.2.3.4:80\n", "colour = blue\n", "listen = host:80\n",
                            "rate = -1\n", "idle-timeout = 0\n"}) {
        ASSERT_TRUE(config.open());
        config.resize(0);
        config.write(bad);
        config.close();
        const auto parsed = parseGatewayOptions({"gw", "--config", config.fileName()});
        ASSERT_TRUE(std::holds_alternative<OptionsExit>(parsed)) << bad;
        EXPECT_EQ(std::get<OptionsExit>(parsed).exitCode, 2);
    }
}

TEST(GatewayAddressPolicy, OnlyPublicAddressesArePublic) {
    const QString notPublic =
        "10.1.2.3 172.31.0.1 192.168.0.1 127.0.0.1 0.0.0.0 169.254.1.1 100.64.0.1 224.0.0.1 ::1 :: "
        "fd00::1 fe80::1 ff02::1 ::ffff:10.0.0.1 2002:c0a8:0101::1 198.18.0.1 198.19.255.255 "
        "::ffff:0:808:808 64:ff9b:1::808:808 2001:0:4136:e378::1 64:ff9b::a00:1";
    for (const QString& address : notPublic.split(' ')) {
        EXPECT_FALSE(isPublicAddress(QHostAddress(address))) << address.toStdString();
    }
    for (const QString& address : QString("8.8.8.8 100.128.0.1 172.32.0.1 198.20.0.1 "
                                          "2001:4860::8888 64:ff9b::808:808 2002:808:808::1")
                                      .split(' ')) {
        EXPECT_TRUE(isPublicAddress(QHostAddress(address))) << address.toStdString();
    }
}

quint16 freePort() {
    QTcpServer probe;  // a port free a moment ago
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

qint64 peakKib(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("VmHWM:");
    return at < 0 ? -1
                  : text.mid(at + 6, text.indexOf('\n', at) - at - 6)
                        .trimmed()
                        .split(' ')[0]
                        .toLongLong();
}

// Clients that ask and ask and never read cost the gateway one answer each, not a pile of them.
TEST(GatewayBinary, MemoryStaysBoundedUnderClientsThatNeverRead) {
    const quint16 port = freePort();
    QProcess gateway;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A sanitizer's quarantine of freed memory is no answer piling up.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=4");
    gateway.setProcessEnvironment(env);
    gateway.start(VIREO_GATEWAY_BINARY,
                  {"--listen", QString("127.0.0.1:%1").arg(port), "--rate", "0"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return gateway.readAllStandardError().contains("listening"); }, 5000));
    const qint64 before = peakKib(gateway.processId());
    std::vector<std::unique_ptr<QTcpSocket>> greedy;
    for (int i = 0; i < 4; ++i) {
        greedy.push_back(std::make_unique<QTcpSocket>());
        greedy.back()->setReadBufferSize(1);
        greedy.back()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        greedy.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    const QByteArray requests = get("/metrics").repeated(64);
    QElapsedTimer clock;
    clock.start();
    (void)QTest::qWaitFor(
        [&] {
            for (const auto& socket : greedy) {
                if (socket->state() == QAbstractSocket::ConnectedState &&
                    socket->bytesToWrite() < (1 << 16)) {
                    socket->write(requests);
                }
            }
            return clock.elapsed() > 5000;
        },
        10000);
    EXPECT_LT(peakKib(gateway.processId()) - before, 32 * 1024);
    gateway.kill();
    gateway.waitForFinished();
}

// An operator looks a game up in --help, the manual or the documentation: all of them name every
// game the gateway knows, and every older id it accepts.
TEST(GatewayDocumentation, EveryGameIsListedWhereOperatorsLook) {
    const auto helpOrText = [](const QString& path) {
        if (path.isEmpty()) {
            const auto help = parseGatewayOptions({"vireo-gateway", "--help"});
            return std::get<OptionsExit>(help).text;
        }
        QFile file(TAMARIN_SOURCE_DIR "/" + path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    for (const QString& place : {QString(), QString("docs/gateway.md"), QString("docs/games.md"),
                                 QString("packaging/gateway/vireo-gateway.1")}) {
        const QString text = helpOrText(place);
        ASSERT_FALSE(text.isEmpty()) << place.toStdString();
        const QString unescaped = QString(text).remove(QLatin1Char('\\'));
        for (const GameTypeInfo& type : knownGameTypes()) {
            const QRegularExpression word(QString("\\b%1\\b").arg(type.code));
            EXPECT_TRUE(unescaped.contains(word)) << type.code << " in " << place.toStdString();
        }
    }
    const QString help = helpOrText({});
    for (const GameTypeAlias& alias : gameTypeAliases()) {
        EXPECT_TRUE(help.contains(QString(" %1=%2").arg(alias.alias, alias.code))) << alias.alias;
    }
}

TEST(GatewayBinary, ServesAndRefusesBadConfiguration) {
    fake::FakeQuake3Server q3;
    const quint16 port = freePort();
    const QString allow = QString("q3:127.0.0.1:%1").arg(q3.port());
    for (const QStringList& bad : {QStringList{"--allow", "q3:nohost"},
                                   {"--min-refresh", "0"},
                                   {"--config", "/nonexistent"},
                                   {"--bogus"}}) {
        EXPECT_EQ(QProcess::execute(VIREO_GATEWAY_BINARY, bad), 2) << bad.join(' ').toStdString();
    }
    QProcess gateway;
    gateway.start(VIREO_GATEWAY_BINARY,
                  {"--listen", QString("127.0.0.1:%1").arg(port), "--allow", allow});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return gateway.readAllStandardError().contains("listening"); }, 5000));
    EXPECT_EQ(exchange(port, {get("/healthz")}).front().body, "ok");
    const Reply status =
        exchange(port, {get(QString("/status.json?game=q3&host=127.0.0.1&port=%1").arg(q3.port()))})
            .front();
    EXPECT_EQ(status.json()["state"], "online");
    // Requests it does not serve leave no line in the log; TLS on the plain port is cut at once.
    exchange(port, QList<QByteArray>(5, get("/",
                                            "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                            "Sec-WebSocket-Version: 13\r\n")));
    QElapsedTimer tls;
    tls.start();
    EXPECT_EQ(exchange(port, {QByteArray("\x16\x03\x01\x00\x05hello", 10)}).front().status, 0);
    EXPECT_LT(tls.elapsed(), 5000);
    gateway.terminate();
    gateway.waitForFinished();
    EXPECT_EQ(gateway.readAllStandardError().toStdString(), "");
}

}  // namespace
