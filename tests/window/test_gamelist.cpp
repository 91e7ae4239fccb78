#include <functional>

#include "tests/support/windowharness.h"

// The game list: what a load of the status control's configuration puts into cboGame and
// GameKeys, how each entry leads to its own key however the list sorts it, and Reload Games.
namespace tamarin {

namespace {

QList<int> itemData(const QComboBox* box) {
    QList<int> data;
    for (int i = 0; i < box->count(); ++i) {
        data << box->itemData(i).toInt();
    }
    return data;
}

const char* const kReloadQuestion =
    "This only do anything if you have already Updated the Game List in Vireo's options "
    "screen.\r\n\r\nDo you want to continue?";

// A control that has the game list reloaded while it is being configured, as one that ran the
// event loop inside ConfigureServer would let a Reload Games click do.
class ReloadingControl : public FakeControl {
  public:
    using FakeControl::FakeControl;
    std::function<void()> during;

  protected:
    QVariant callOwn(dispid::DispId id, QVariantList& args) override {
        if (during) {
            during();
        }
        return FakeControl::callOwn(id, args);
    }
};

}  // namespace

using GameList = ReadyWindow;

TEST_F(GameList, TheCountAndTheKeysDecideTheEntries) {
    struct Case {
        const char* count;  // nullptr: no ServerCount at all
        const char* gameList;
        QStringList keys, names;
        QList<int> data;
    };
    const QStringList abc = {"a", "b", "c"};
    const Case cases[] = {
        {"2", "a,b,c", abc, {"Alpha", "Bravo", "Charlie"}, {0, 1, 2}},
        {"0", "a,b,c", abc, {"Alpha"}, {0}},
        {"word", "a,b,c", abc, {"Alpha"}, {0}},   // not a number counts as 0
        {"70000", "a,b,c", abc, {"Alpha"}, {0}},  // nor does a count beyond 16 bits
        {"-1", "a,b,c", {}, {}, {}},
        {nullptr, "a,b,c", {}, {}, {}},
        {"9", "a,b,c", abc, {"Alpha", "Bravo", "Charlie"}, {0, 1, 2}},  // more games than keys
        {"1", "a, b", {"a", " b"}, {"Alpha", "Spaced"}, {0, 1}},        // the blank is the key's
        {"2", "a,,c", {"a", "", "c"}, {"", "Alpha", "Charlie"}, {1, 0, 2}},
        {"0", "", {}, {}, {}},  // nothing listed: no keys, so no entry either
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.count ? c.count : "(none)") + " / " + c.gameList);
        store.values.clear();
        threeGames();
        store.seed("Vireo", " b", "GameName", "Spaced");
        store.seed("Vireo", "Config", "GameList", c.gameList);
        if (c.count) {
            store.seed("Vireo", "Config", "ServerCount", c.count);
        } else {
            store.values.erase({"Vireo", "Config", "ServerCount"});
        }
        open();
        EXPECT_EQ(window->gameKeys(), c.keys);
        EXPECT_EQ(entries(cboGame()), c.names);
        EXPECT_EQ(itemData(cboGame()), c.data);
        EXPECT_EQ(cboGame()->currentIndex(), -1);
        EXPECT_EQ(txtPort()->text(), "");
    }
}

TEST_F(GameList, EachEntryLeadsToItsOwnKeyWhereverTheListPlacesIt) {
    // Names in the opposite order to the keys, two of them alike; w has no default port.
    games("3", "x,y,z,w",
          {{"x", "Zulu", "1", "tx"},
           {"y", "Mike", "2", "ty"},
           {"z", "Alpha", "3", "tz"},
           {"w", "Mike", "", "tw"}});
    store.values.erase({"Vireo", "w", "DefaultPort"});
    open();
    ASSERT_EQ(entries(cboGame()), QStringList({"Alpha", "Mike", "Mike", "Zulu"}));
    ASSERT_EQ(itemData(cboGame()), QList<int>({2, 1, 3, 0}));
    const QStringList keys = {"x", "y", "z", "w"};
    const QStringList ports = {"1", "2", "3", ""};
    txtIP()->setText("10.0.0.1");
    txtRefresh()->setText("30");
    for (int position = 0; position < 4; ++position) {
        SCOPED_TRACE(position);
        const int game = itemData(cboGame())[position];
        txtPort()->setText("typed");  // choosing a game overwrites what was typed
        cboGame()->setCurrentIndex(position);
        EXPECT_EQ(txtPort()->text(), ports[game]);
        txtPort()->setText("27015");
        control->calls.clear();
        step1();
        ASSERT_EQ(control->calls.size(), 1);
        EXPECT_EQ(control->calls[0].args[3].toString(), keys[game]);
        EXPECT_EQ(control->calls[0].args[2].toString(), "t" + keys[game]);
    }
}

TEST_F(GameList, ReloadAsksFirstAndOnYesRebuildsTheListAlone) {
    step1();
    forget();
    txtPort()->setText("typed");
    const QString snippet = txtHTML()->snippet();
    games("3", "a,b,c,d", {{"d", "Delta", "1004", "td"}});

    desktop.answers = {MessageAnswer::No};
    cmdReload()->click();
    ASSERT_EQ(desktop.messages.size(), 1);
    EXPECT_EQ(desktop.messages[0].text, kReloadQuestion);
    EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(desktop.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(entries(cboGame()), QStringList({"Alpha", "Bravo", "Charlie"}));
    EXPECT_EQ(cboGame()->currentIndex(), 1);
    EXPECT_EQ(window->gameKeys(), QStringList({"a", "b", "c"}));

    desktop.answers = {MessageAnswer::Yes};
    cmdReload()->click();
    ASSERT_EQ(desktop.messages.size(), 2);
    EXPECT_EQ(desktop.messages[1].text, kReloadQuestion);
    EXPECT_EQ(entries(cboGame()), QStringList({"Alpha", "Bravo", "Charlie", "Delta"}));
    EXPECT_EQ(itemData(cboGame()), QList<int>({0, 1, 2, 3}));
    EXPECT_EQ(cboGame()->currentIndex(), -1);
    EXPECT_EQ(window->gameKeys(), QStringList({"a", "b", "c", "d"}));
    // Nothing but the list changes: the port box, the preview and the snippet stay as they were.
    EXPECT_EQ(txtPort()->text(), "typed");
    EXPECT_EQ(txtIP()->text(), "10.0.0.1");
    EXPECT_TRUE(control->calls.isEmpty());
    EXPECT_TRUE(control->puts.isEmpty());
    EXPECT_EQ(txtHTML()->snippet(), snippet);

    // Until a game is picked again, Step 1 asks for it.
    step1();
    EXPECT_EQ(desktop.messages.last().text, "All information must be filled in or selected");
    EXPECT_TRUE(control->calls.isEmpty());

    // A configuration that now lists no games empties the list but keeps the old keys.
    store.seed("Vireo", "Config", "ServerCount", "-1");
    desktop.answers = {MessageAnswer::Yes};
    cmdReload()->click();
    EXPECT_EQ(cboGame()->count(), 0);
    EXPECT_EQ(window->gameKeys(), QStringList({"a", "b", "c", "d"}));
}

TEST_F(GameList, AReloadWhileThePreviewIsBeingConfiguredLeavesTheKeysInUseAlone) {
    ReloadingControl* reloading = nullptr;
    window = std::make_unique<frmMain>(store, desktop, [&](TwipsScale scale, QWidget* parent) {
        control = reloading = new ReloadingControl(scale, parent);
        return control;
    });
    cboGame()->setCurrentIndex(1);
    txtIP()->setText("10.0.0.1");
    games("1", "y,x", {{"x", "Xray", "1", "tx"}, {"y", "Yankee", "2", "ty"}});
    QStringList keysDuring;
    reloading->during = [&] {
        window->LoadGameList();
        keysDuring = window->gameKeys();
    };
    step1();
    ASSERT_EQ(control->calls.size(), 1);
    EXPECT_EQ(control->calls[0].args[3].toString(), "b");
    EXPECT_EQ(keysDuring, QStringList({"a", "b", "c"}));
    // Whatever the list shows now, each entry still names the key its item data leads to.
    for (int i = 0; i < cboGame()->count(); ++i) {
        const QString key = window->gameKeys().value(itemData(cboGame())[i], "<none>");
        EXPECT_EQ(cboGame()->itemText(i), store.get("Vireo", key, "GameName", "<none>")) << i;
    }
    reloading->during = nullptr;
    window->LoadGameList();
    EXPECT_EQ(window->gameKeys(), QStringList({"y", "x"}));
    EXPECT_EQ(entries(cboGame()), QStringList({"Xray", "Yankee"}));
}

}  // namespace tamarin
