// Reload Games with a large game list: LoadGameList on the real window over the store on disk.
// Before each run the file is saved again by another instance, as the options screen would, so
// every run reads and parses it anew: the time is that of one reload, file read included.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>

#include "bench/widgetbenchmain.h"
#include "platform/scripteddesktop.h"
#include "settings/inisettingsstore.h"
#include "tests/support/fakecontrol.h"
#include "window/frmMain.h"

namespace {

using namespace tamarin;

// The names in no order (7919 is a prime), so the sorted list is filled at random places.
void writeGames(const QString& folder, int games) {
    QByteArray text = "[Config]\nServerCount=" + QByteArray::number(games - 1) + "\nGameList=";
    for (int game = 0; game < games; ++game) {
        text += (game > 0 ? "," : "") + ('g' + QByteArray::number(game));
    }
    text += '\n';
    for (int game = 0; game < games; ++game) {
        text += "\n[g" + QByteArray::number(game) + "]\nGameName=Game " +
                QByteArray::number((game * 7919LL) % games) + "\nDefaultPort=27960\nGameType=q3\n";
    }
    QFile file(folder + "/Vireo/Vireo.ini");
    if (!QDir().mkpath(folder + "/Vireo") || !file.open(QIODevice::WriteOnly) ||
        file.write(text) != text.size()) {
        std::abort();
    }
}

void BM_LoadGameList(benchmark::State& state) {
    const int games = int(state.range(0));
    QTemporaryDir home;
    writeGames(home.path(), games);
    IniSettingsStore store(home.path());
    IniSettingsStore optionsScreen(home.path());
    ScriptedDesktop desktop;
    frmMain window(store, desktop, [](TwipsScale scale, QWidget* parent) {
        return new FakeControl(scale, parent);
    });
    int saves = 0;
    for (auto _ : state) {
        state.PauseTiming();
        optionsScreen.save("Vireo", "Config", "Saved", QString::number(++saves));
        state.ResumeTiming();
        window.LoadGameList();
    }
    if (window.findChild<QComboBox*>("cboGame")->count() != games) {
        state.SkipWithError("not every game was listed");
    }
}
BENCHMARK(BM_LoadGameList)->Arg(250)->Arg(4000)->Arg(32768)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return runWidgetBenchmarks(argc, argv);
}
