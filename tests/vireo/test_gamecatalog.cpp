#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "common/steps.h"
#include "serverquery/serverstatus.h"
#include "settings/inisettingsstore.h"
#include "tests/settings/smallfilesystem.h"
#include "tests/support/memorystore.h"
#include "vireo/gamecatalog.h"

using namespace tamarin;

namespace {

const QString kVireo = "Vireo";

QString config(const SettingsStore& store, const QString& key, const QString& fallback = "?") {
    return store.get(kVireo, "Config", key, fallback);
}

// What the tool's game list reads back: the keys of games 0..ServerCount, with their names.
QStringList listedNames(const SettingsStore& store) {
    QStringList names;
    const GameCatalog catalog = GameCatalog::read(store);
    for (const GameEntry& game : catalog.games()) {
        names << store.get(kVireo, game.key, "GameName", "?");
    }
    return names;
}

GameEntry entry(const QString& key, const QString& port = "27960", const QString& type = "q3",
                const QString& name = "A game") {
    return {key, name, port, type};
}

TEST(GameCatalogDefaults, WrittenOnceInOneGoOnANewAccount) {
    MemoryStore store;
    EXPECT_TRUE(GameCatalog::writeDefaultsIfUnconfigured(store));
    EXPECT_EQ(store.saveAllCalls, 1);
    EXPECT_EQ(config(store, "ServerCount"), "8");
    EXPECT_EQ(config(store, "GameList"), "q3a,oa,et,hl,cs,tf2,cs2,minecraft,mbe");
    EXPECT_EQ(listedNames(store),
              QStringList({"Quake III Arena", "OpenArena", "Wolfenstein: Enemy Territory",
                           "Half-Life", "Counter-Strike", "Team Fortress 2", "Counter-Strike 2",
                           "Minecraft: Java Edition", "Minecraft: Bedrock Edition"}));
    EXPECT_EQ(store.get(kVireo, "et", "DefaultPort", "?"), "27960");
    EXPECT_EQ(store.get(kVireo, "tf2", "DefaultPort", "?"), "27015");
    EXPECT_EQ(store.get(kVireo, "q3a", "GameType", "?"), "q3");
    // Every default names a game the control can actually query.
    EXPECT_EQ(GameCatalog::defaults().refusalForList(), "");

    const int writes = int(store.writes.size());
    EXPECT_FALSE(GameCatalog::writeDefaultsIfUnconfigured(store));
    EXPECT_EQ(store.writes.size(), writes);
}

TEST(GameCatalogDefaults, NeverWrittenOverAUsersList) {
    // An emptied list, a count that is not a number and an empty stored count are all the user's.
    for (const char* count : {"-1", "not a number", "", "0"}) {
        MemoryStore store;
        store.seed(kVireo, "Config", "ServerCount", count);
        store.seed(kVireo, "Config", "GameList", "mine");
        EXPECT_FALSE(GameCatalog::writeDefaultsIfUnconfigured(store)) << count;
        EXPECT_TRUE(store.writes.isEmpty()) << count;
        EXPECT_EQ(config(store, "GameList"), "mine");
    }
}

TEST(GameCatalogDefaults, ARefusingStoreIsAStepFailure) {
    MemoryStore store;
    store.refuseSaves = true;
    EXPECT_THROW(GameCatalog::writeDefaultsIfUnconfigured(store), StepFailure);
}

// A configuration that cannot be read (or only as Latin-1) is the user's all the same.
TEST(GameCatalogDefaults, NeverWrittenOverAFileThatCannotBeRead) {
    const std::function<void(const QString&)> damages[] = {
        [](const QString& path) { QDir().mkpath(path); },
        [](const QString& path) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("[Config]\nServerCount=0\nGameList=q\n[q]\nGameName=Caf\xE9\n");
        },
        [](const QString& path) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray("[Config]\0", 9));
        },
    };
    for (const auto& damage : damages) {
        QTemporaryDir dir;
        IniSettingsStore store(dir.path());
        const QString path = store.fileFor(kVireo);
        QDir().mkpath(QFileInfo(path).path());
        damage(path);
        QFile file(path);
        const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : "folder";
        EXPECT_FALSE(GameCatalog::writeDefaultsIfUnconfigured(store));
        EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                  QStringList{"Vireo.ini"});
        QFile after(path);
        EXPECT_EQ(after.open(QIODevice::ReadOnly) ? after.readAll() : "folder", before);
    }
}

TEST(GameCatalogDefaults, RefusedOnAFullFileSystemTheyLeaveNoFile) {
    SmallFileSystem disk;
    if (!disk.mounted()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    IniSettingsStore store(disk.path());
    QDir().mkpath(QFileInfo(store.fileFor(kVireo)).path());
    disk.fillLeaving(0);
    EXPECT_THROW(GameCatalog::writeDefaultsIfUnconfigured(store), StepFailure);
    EXPECT_FALSE(QFileInfo::exists(store.fileFor(kVireo)));
}

TEST(GameCatalogRead, FollowsTheToolsGameList) {
    MemoryStore store;
    store.seed(kVireo, "Config", "GameList", "a,b,c");
    for (const char* key : {"a", "b", "c"}) {
        store.seed(kVireo, key, "GameName", QString("Game ") + key);
    }
    store.seed(kVireo, "Config", "ServerCount", "1");
    EXPECT_EQ(listedNames(store), QStringList({"Game a", "Game b"}));
    store.seed(kVireo, "Config", "ServerCount", "word");  // counts as 0
    EXPECT_EQ(listedNames(store), QStringList({"Game a"}));
    store.seed(kVireo, "Config", "ServerCount", "9");  // more games than keys
    EXPECT_EQ(listedNames(store).size(), 3);
    store.seed(kVireo, "Config", "ServerCount", "-1");
    EXPECT_TRUE(GameCatalog::read(store).games().isEmpty());
    store.seed(kVireo, "Config", "ServerCount", "0");
    store.seed(kVireo, "Config", "GameList", "");
    EXPECT_TRUE(GameCatalog::read(store).games().isEmpty());
}

TEST(GameCatalogEdit, RefusesWhatWouldCorruptTheListAndChangesNothing) {
    GameCatalog catalog = GameCatalog::defaults();
    const QList<GameEntry> before = catalog.games();
    const QList<GameEntry> refused = {
        entry(""),
        entry(" lead"),
        entry("trail "),
        entry("a,b"),
        entry("two\nlines"),
        entry("tab\there"),
        entry("Q3A"),  // the same key in other letter case
        entry("new", "0"),
        entry("new", "65536"),
        entry("new", "abc"),
        entry("new", ""),
        entry("new", "27960", "zz"),
        entry("new", "27960", ""),
        entry("new", "27960", "q3", "   "),
        entry("new", "27960", "q3", "two\nlines"),
    };
    for (const GameEntry& game : refused) {
        EXPECT_NE(catalog.add(game), "")
            << game.key.toStdString() << "/" << game.defaultPort.toStdString();
        EXPECT_NE(catalog.replace(3, game), "") << game.key.toStdString();
    }
    EXPECT_EQ(catalog.games(), before);
}

TEST(GameCatalogEdit, AcceptsSoundGamesWithPlainPorts) {
    GameCatalog catalog;
    EXPECT_EQ(catalog.add(entry("my game", " 027960 ", " tf2 ", " Mine ")), "");
    EXPECT_EQ(catalog.add(entry("x", "65535", "CS")), "");
    ASSERT_EQ(catalog.games().size(), 2);
    EXPECT_EQ(catalog.games().at(0), (GameEntry{"my game", "Mine", "27960", "tf2"}));

    // A game keeps its own key when edited; it may not take another game's.
    EXPECT_EQ(catalog.replace(0, entry("MY GAME", "1")), "");
    EXPECT_EQ(catalog.games().at(0).key, "MY GAME");
    EXPECT_NE(catalog.replace(0, entry("X")), "");
    EXPECT_TRUE(catalog.remove(1));
    EXPECT_FALSE(catalog.remove(1));
    EXPECT_FALSE(catalog.remove(-1));
    EXPECT_EQ(catalog.games().size(), 1);
}

TEST(GameCatalogQueryPort, StoredAsTheGamePortAnOffsetOrAPort) {
    const struct {
        const char* text;
        std::optional<QueryPortRule> rule;
        const char* stored;
    } cases[] = {
        {"", QueryPortRule::gamePort(), ""},
        {" +1 ", QueryPortRule::offset(1), "+1"},
        {"-10", QueryPortRule::offset(-10), "-10"},
        {"027015", QueryPortRule::fixed(27015), "27015"},
        {"+0", std::nullopt, "+0"},
        {"+70000", std::nullopt, "+70000"},
        {"port", std::nullopt, "port"},
        {"+-1", std::nullopt, "+-1"},
    };
    GameCatalog catalog;
    for (const auto& c : cases) {
        EXPECT_EQ(queryPortRuleFromText(c.text), c.rule) << c.text;
        GameEntry game = entry("g", "2456", "valheim");
        game.queryPort = c.text;
        const QString refusal = catalog.replace(0, game);
        EXPECT_EQ(refusal.isEmpty(), c.rule.has_value()) << c.text;
        if (refusal.isEmpty()) {
            EXPECT_EQ(catalog.games().at(0).queryPort, c.stored);
        }
    }
    MemoryStore store;
    catalog.saveTo(store);
    EXPECT_EQ(store.get(kVireo, "g", "QueryPort", "?"), "27015");
}

// An older list lacks the games added since: they are offered, under their codes, never twice and
// never under a key the list already uses.
TEST(GameCatalogBuiltIn, OffersTheBuiltInGamesAListLacks) {
    GameCatalog catalog = GameCatalog::defaults();
    EXPECT_EQ(catalog.add(entry("valheim", "27960", "q3")), "");  // a key the user chose
    EXPECT_EQ(catalog.add(entry("mine", "7777", " UT ")), "");    // an old id of a known game
    const QList<GameEntry> missing = catalog.missingBuiltInGames();
    EXPECT_EQ(missing.size(), knownGameTypes().size() - 10);  // the first nine, and ut
    QStringList keys;
    for (const GameEntry& game : missing) {
        EXPECT_EQ(catalog.refusalFor(game), "") << game.key.toStdString();
        keys << game.key;
    }
    EXPECT_TRUE(keys.contains("valheim-2"));
    EXPECT_FALSE(keys.contains("unrealtournament"));
    const GameEntry valheim = missing.at(keys.indexOf("valheim-2"));
    EXPECT_EQ(valheim, (GameEntry{"valheim-2", "Valheim", "2456", "valheim", "+1"}));
}

TEST(GameCatalogSave, WritesTheWholeListAsTheToolReadsIt) {
    MemoryStore store;
    GameCatalog::writeDefaultsIfUnconfigured(store);
    GameCatalog catalog = GameCatalog::read(store);
    ASSERT_EQ(catalog.games(), GameCatalog::defaults().games());
    catalog.remove(0);
    ASSERT_EQ(catalog.add({"ut", "Mine; \"quoted\" = #1", "7777", "source"}), "");
    catalog.saveTo(store);

    EXPECT_EQ(store.saveAllCalls, 2);
    EXPECT_EQ(config(store, "ServerCount"), "8");
    EXPECT_EQ(config(store, "GameList"), "oa,et,hl,cs,tf2,cs2,minecraft,mbe,ut");
    EXPECT_EQ(listedNames(store).last(), "Mine; \"quoted\" = #1");
    EXPECT_EQ(GameCatalog::read(store).games(), catalog.games());
    // Config comes last, so a store saving value by value never counts unwritten games.
    EXPECT_EQ(store.writes.last().key, "ServerCount");

    GameCatalog().saveTo(store);
    EXPECT_EQ(config(store, "ServerCount"), "-1");
    EXPECT_EQ(config(store, "GameList"), "");
    EXPECT_FALSE(GameCatalog::writeDefaultsIfUnconfigured(store));
}

TEST(GameCatalogSave, AnUnsoundListReadFromTheStoreIsNotWritten) {
    MemoryStore store;
    store.seed(kVireo, "Config", "ServerCount", "1");
    store.seed(kVireo, "Config", "GameList", "ok,bad");
    store.seed(kVireo, "ok", "GameName", "Fine");
    store.seed(kVireo, "ok", "DefaultPort", "27960");
    store.seed(kVireo, "ok", "GameType", "q3");
    store.seed(kVireo, "bad", "GameName", "Broken");
    store.seed(kVireo, "bad", "DefaultPort", "port");
    store.seed(kVireo, "bad", "GameType", "q3");
    const GameCatalog catalog = GameCatalog::read(store);
    EXPECT_NE(catalog.refusalForList().indexOf("bad"), -1);
    EXPECT_THROW(catalog.saveTo(store), StepFailure);
    EXPECT_TRUE(store.writes.isEmpty());
}

TEST(GameCatalogSave, RoundTripsThroughTheStoreOnDisk) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    IniSettingsStore store(dir.path());
    EXPECT_TRUE(GameCatalog::writeDefaultsIfUnconfigured(store));
    GameCatalog catalog = GameCatalog::read(store);
    ASSERT_EQ(catalog.add({"my game/2", "Ünïcode \\ name", "1", "et"}), "");
    catalog.saveTo(store);

    IniSettingsStore fresh(dir.path());
    EXPECT_EQ(GameCatalog::read(fresh).games(), catalog.games());
    EXPECT_EQ(config(fresh, "ServerCount"), "9");
}

}  // namespace
