// The live preview end to end: from ConfigureServer on our Vireo control to the server's status
// drawn on it, against the fake Quake III and A2S servers on the loopback.
#include <benchmark/benchmark.h>

#include "bench/widgetbenchmain.h"
#include "tests/fakeservers/fakeservers.h"
#include "tests/support/memorystore.h"
#include "vireo/vireocontrol.h"

namespace {

using namespace tamarin;

void configureAndWaitUntilShown(benchmark::State& state, fake::FakeServer& server,
                                const char* gameType) {
    MemoryStore store;
    VireoControl control(TwipsScale{}, {}, store);
    control.resize(509, 150);
    control.show();
    for (auto _ : state) {
        QVariantList args = {QStringLiteral("127.0.0.1"),
                             QString::number(server.port()),
                             QString::fromLatin1(gameType),
                             QStringLiteral("key"),
                             0,
                             QString()};
        control.call(dispid::ConfigureServer, args);
        while (control.status().state != ServerStatus::State::Online) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        control.repaint();  // the status drawn, not only known
        state.PauseTiming();
        control.showStatus(ServerStatus{});  // back to "not queried" for the next round
        state.ResumeTiming();
    }
}

void BM_ConfigureToShown_Quake3(benchmark::State& state) {
    fake::FakeQuake3Server server;
    configureAndWaitUntilShown(state, server, "q3");
}
BENCHMARK(BM_ConfigureToShown_Quake3)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ConfigureToShown_A2sWithChallenge(benchmark::State& state) {
    fake::FakeA2sServer server;
    server.setChallenge(0x5EED1234);
    configureAndWaitUntilShown(state, server, "tf2");
}
BENCHMARK(BM_ConfigureToShown_A2sWithChallenge)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return runWidgetBenchmarks(argc, argv);
}
