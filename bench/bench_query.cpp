// A whole status query against the fake game servers on the loopback, from start() to finished,
// on a real event loop; beside it the bare loopback round trip it is measured against and the
// parsers on their own.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "serverquery/a2sprotocol.h"
#include "serverquery/gametypes.h"
#include "serverquery/quake3protocol.h"
#include "serverquery/serverquery.h"
#include "tests/fakeservers/fakeservers.h"

using namespace tamarin;
using namespace tamarin::fake;

namespace {

ServerStatus runQuery(ServerQuery& query, quint16 port, QueryProtocol protocol) {
    ServerStatus result;
    QEventLoop loop;
    QObject::connect(&query, &ServerQuery::finished, &loop, [&](const ServerStatus& status) {
        result = status;
        loop.quit();
    });
    query.start(QStringLiteral("127.0.0.1"), port, protocol);
    loop.exec();
    return result;
}

void benchQuery(benchmark::State& state, FakeServer& server, QueryProtocol protocol,
                int expectedRows) {
    ServerQuery query;
    for (auto _ : state) {
        const ServerStatus status = runQuery(query, server.port(), protocol);
        if (status.state != ServerStatus::State::Online || status.rows.size() != expectedRows) {
            state.SkipWithError("the fake server was not shown as online with its players");
            break;
        }
    }
    state.counters["datagrams_out"] =
        benchmark::Counter(double(server.requests().size()), benchmark::Counter::kAvgIterations);
}

void BM_QueryQuake3(benchmark::State& state) {
    FakeQuake3Server server;
    benchQuery(state, server, QueryProtocol::Quake3, 2);
}

void BM_QueryA2sNoChallenge(benchmark::State& state) {
    FakeA2sServer server;
    benchQuery(state, server, QueryProtocol::A2S, 2);
}

void BM_QueryA2sWithChallenge(benchmark::State& state) {
    FakeA2sServer server;
    server.setChallenge(0x5EED1234);
    benchQuery(state, server, QueryProtocol::A2S, 2);
}

void BM_QueryA2sChallengeSplitReplies(benchmark::State& state) {
    FakeA2sServer server;
    server.setChallenge(0x5EED1234);
    server.setSplit(FakeA2sServer::Split::Source, 16, true);
    benchQuery(state, server, QueryProtocol::A2S, 2);
}

// The floor: one datagram to a fake server and its reply back, on the same event loop.
void BM_LoopbackRoundTrip(benchmark::State& state) {
    FakeQuake3Server server;
    QUdpSocket client;
    client.bind(QHostAddress::LocalHost, 0);
    const QByteArray request = quake3StatusRequest();
    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(&client, &QUdpSocket::readyRead, &loop, [&] {
            while (client.hasPendingDatagrams()) {
                client.receiveDatagram();
            }
            loop.quit();
        });
        client.writeDatagram(request, QHostAddress::LocalHost, server.port());
        loop.exec();
    }
}

void BM_ParseQuake3Reply(benchmark::State& state) {
    QList<Quake3Player> players;
    for (int i = 0; i < 32; ++i) {
        players.append(
            {i, 40 + i, "^" + QByteArray::number(i % 10) + "Player " + QByteArray::number(i)});
    }
    const QByteArray reply = quake3Reply(
        {{"sv_hostname", "^1Bench ^7Arena"}, {"mapname", "q3dm17"}, {"sv_maxclients", "32"}},
        players);
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseQuake3StatusReply(reply));
    }
    state.SetBytesProcessed(state.iterations() * reply.size());
}

void BM_ParseA2sSplitPlayers(benchmark::State& state) {
    QList<A2sPlayer> players;
    for (int i = 0; i < 32; ++i) {
        players.append({"Player " + QByteArray::number(i), i, float(i)});
    }
    const QByteArray reply = a2sPlayerReply(players);
    const QList<QByteArray> fragments = splitSource(reply, 7, 200);
    for (auto _ : state) {
        A2sSplitAssembler assembler;
        for (const QByteArray& fragment : fragments) {
            if (const std::optional<QByteArray> whole = assembler.add(fragment)) {
                benchmark::DoNotOptimize(parseA2sReply(*whole));
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * reply.size());
}

}  // namespace

BENCHMARK(BM_LoopbackRoundTrip)->UseRealTime();
BENCHMARK(BM_QueryQuake3)->UseRealTime();
BENCHMARK(BM_QueryA2sNoChallenge)->UseRealTime();
BENCHMARK(BM_QueryA2sWithChallenge)->UseRealTime();
BENCHMARK(BM_QueryA2sChallengeSplitReplies)->UseRealTime();
BENCHMARK(BM_ParseQuake3Reply);
BENCHMARK(BM_ParseA2sSplitPlayers);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
