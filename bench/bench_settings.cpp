// The settings store reads its file at every get and rewrites it whole at every save. These
// measure what that costs on a status control configuration of ten games.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "settings/inisettingsstore.h"

namespace {

using tamarin::IniSettingsStore;

const QString kVireo = QStringLiteral("Vireo");

struct TenGames {
    TenGames() {
        QStringList keys;
        for (int game = 0; game < 10; ++game) {
            const QString key = QStringLiteral("game%1").arg(game);
            keys << key;
            store.save(kVireo, key, "GameName", QStringLiteral("Game number %1").arg(game));
            store.save(kVireo, key, "DefaultPort", QString::number(27960 + game));
            store.save(kVireo, key, "GameType", QString::number(game * 7));
        }
        store.save(kVireo, "Config", "ServerCount", "9");
        store.save(kVireo, "Config", "GameList", keys.join(u','));
    }

    QTemporaryDir folder;
    IniSettingsStore store{folder.path()};
};

void getGameName(benchmark::State& state) {
    TenGames games;
    for (auto _ : state) {
        benchmark::DoNotOptimize(games.store.get(kVireo, "game7", "GameName", ""));
    }
}
BENCHMARK(getGameName);

// What start-up reads from the store: the count, the list and one name per game.
void loadGameList(benchmark::State& state) {
    TenGames games;
    for (auto _ : state) {
        games.store.get(kVireo, "Config", "ServerCount", "-1");
        games.store.get(kVireo, "Config", "GameList", "");
        for (int game = 0; game < 10; ++game) {
            benchmark::DoNotOptimize(
                games.store.get(kVireo, QStringLiteral("game%1").arg(game), "GameName", ""));
        }
    }
}
BENCHMARK(loadGameList);

void saveOneValue(benchmark::State& state) {
    TenGames games;
    int n = 0;
    for (auto _ : state) {
        games.store.save(kVireo, "game3", "DefaultPort", QString::number(++n));
    }
}
BENCHMARK(saveOneValue);

// Shut-down's six values in one rewrite.
void saveSixValues(benchmark::State& state) {
    TenGames games;
    const QString section = QStringLiteral("LastServer");
    for (auto _ : state) {
        games.store.saveAll(QStringLiteral("Tamarin"), {{section, "Game", "3"},
                                                        {section, "Players", "16"},
                                                        {section, "IP", "192.0.2.7"},
                                                        {section, "Port", "27960"},
                                                        {section, "Refresh", "30"},
                                                        {section, "Details", "1"}});
    }
}
BENCHMARK(saveSixValues);

}  // namespace

BENCHMARK_MAIN();
