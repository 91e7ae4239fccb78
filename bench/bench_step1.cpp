#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "bench/widgetbenchmain.h"
#include "platform/scripteddesktop.h"
#include "settings/inisettingsstore.h"
#include "tests/support/fakecontrol.h"
#include "tests/support/memorystore.h"
#include "vireo/vireocontrol.h"
#include "window/frmMain.h"

// Step 1 end to end: from the click on the button to the snippet in the box, through the real
// window, with the preview either a recording control or our own Vireo control on the real store.
namespace {

using namespace tamarin;

void fillIn(frmMain& window) {
    window.findChild<QComboBox*>("cboGame")->setCurrentIndex(0);
    window.findChild<QLineEdit*>("txtIP")->setText("127.0.0.1");
    window.findChild<QLineEdit*>("txtPort")->setText("27960");
    window.findChild<QLineEdit*>("txtRefresh")->setText("30");
    window.findChild<QComboBox*>("cboPlayers")->setEditText("12");
}

void clickStep1(benchmark::State& state, frmMain& window) {
    fillIn(window);
    auto* step1 = window.findChild<QPushButton*>("cmdSave");
    for (auto _ : state) {
        step1->click();
    }
    benchmark::DoNotOptimize(window.findChild<QWidget*>("txtHTML"));
}

void BM_Step1_RecordingControl(benchmark::State& state) {
    MemoryStore store;
    store.seed("Vireo", "Config", "ServerCount", "0");
    store.seed("Vireo", "Config", "GameList", "q3a");
    store.seed("Vireo", "q3a", "GameName", "Quake III Arena");
    store.seed("Vireo", "q3a", "GameType", "q3");
    ScriptedDesktop desktop;
    frmMain window(store, desktop, [](TwipsScale scale, QWidget* parent) {
        return new FakeControl(scale, parent);
    });
    clickStep1(state, window);
}
BENCHMARK(BM_Step1_RecordingControl)->Unit(benchmark::kMicrosecond);

void BM_Step1_VireoControlOnDisk(benchmark::State& state) {
    QTemporaryDir home;
    IniSettingsStore store(home.path());
    ScriptedDesktop desktop;
    frmMain window(store, desktop, [&store](TwipsScale scale, QWidget* parent) {
        return new VireoControl(scale, {}, store, parent);
    });
    clickStep1(state, window);
}
BENCHMARK(BM_Step1_VireoControlOnDisk)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return runWidgetBenchmarks(argc, argv);
}
