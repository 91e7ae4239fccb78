#include <QCloseEvent>
#include <QSignalSpy>

#include "tests/support/windowharness.h"

namespace tamarin {

namespace {
QStringList playersOffered() {
    QStringList texts;
    for (int n = 5; n <= 32; ++n) {
        texts << QString::number(n);
    }
    return texts;
}
}  // namespace

using StartUp = WindowTest;

TEST_F(StartUp, FirstRunShowsTheDefaultsAndLeavesThePreviewUnconfigured) {
    open();
    EXPECT_EQ(cboGame()->count(), 0);
    EXPECT_EQ(cboGame()->currentIndex(), -1);
    EXPECT_EQ(entries(cboPlayers()), playersOffered());
    EXPECT_EQ(cboPlayers()->currentText(), "5");
    EXPECT_EQ(txtIP()->text(), "");
    EXPECT_EQ(txtPort()->text(), "");
    EXPECT_EQ(txtRefresh()->text(), "");
    EXPECT_EQ(chkDetials()->value(), 1);
    EXPECT_EQ(txtHTML()->toPlainText(), "");
    EXPECT_TRUE(txtHTML()->isHidden());
    EXPECT_FALSE(control->isHidden());
    EXPECT_EQ(cmdSave()->text(), "Step 1:\nSave Options");
    EXPECT_EQ(cmdShow()->text(), "Step 2:\nShow HTML");
    EXPECT_TRUE(control->calls.isEmpty());
    EXPECT_TRUE(desktop.messages.isEmpty());
    // The layout still ran: the five-player height was handed to the preview.
    EXPECT_EQ(control->props.value(dispid::ExpandedHight).toInt(), 1740);
}

TEST_F(StartUp, ACompleteSavedSetIsRestoredAndConfiguresThePreviewBeforeShowing) {
    threeGames();
    lastServer("Game", "1");
    lastServer("Players", "07");
    lastServer("IP", "10.0.0.1");
    lastServer("Port", "27015");
    lastServer("Refresh", "30");
    lastServer("Details", "0");
    open();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(cboGame()->currentText(), "Bravo");
    EXPECT_EQ(cboPlayers()->currentText(), "7");
    EXPECT_EQ(txtIP()->text(), "10.0.0.1");
    EXPECT_EQ(txtPort()->text(), "27015");  // the stored port wins over the default port
    EXPECT_EQ(txtRefresh()->text(), "30");
    EXPECT_EQ(chkDetials()->value(), 0);
    ASSERT_EQ(control->calls.size(), 1);
    EXPECT_EQ(control->calls[0].args[3].toString(), "b");
    EXPECT_TRUE(txtHTML()->toPlainText().contains("VALUE=\"10.0.0.1\""));
    EXPECT_TRUE(txtHTML()->isHidden());
}

TEST_F(StartUp, StoredValuesThatDoNotFitLeaveTheControlsAsDesignedOrEmpty) {
    threeGames();
    struct Case {
        QString game, players, details;
        int wantGame;
        QString wantPlayers;
        int wantDetails;
    };
    const QList<Case> cases = {
        {"3", "word", "7", -1, "", 1},            // no fourth game; not a number; not a state
        {"-2", "", "2", -1, "", 2},               // below -1; stored empty stays empty; greyed
        {"70000", "2147483648", "x", -1, "", 1},  // outside 16 and 32 bits
        {"abc", "99", "0", -1, "99", 0},          // any number of players is shown as it converts
        {"2", " 12 ", "1", 2, "12", 1},
    };
    for (const Case& c : cases) {
        lastServer("Game", c.game);
        lastServer("Players", c.players);
        lastServer("Details", c.details);
        open();
        SCOPED_TRACE(c.game.toStdString() + " / " + c.players.toStdString());
        EXPECT_EQ(cboGame()->currentIndex(), c.wantGame);
        EXPECT_EQ(cboPlayers()->currentText(), c.wantPlayers);
        EXPECT_EQ(chkDetials()->value(), c.wantDetails);
        EXPECT_TRUE(control->calls.isEmpty());
    }
}

TEST_F(StartUp, SelectingTheStoredGameFillsItsPortUnlessAPortIsStored) {
    threeGames();
    lastServer("Game", "2");
    open();
    EXPECT_EQ(txtPort()->text(), "");  // the stored (absent, so empty) port wins
    lastServer("Port", "4242");
    open();
    EXPECT_EQ(txtPort()->text(), "4242");
}

TEST_F(StartUp, CompleteValuesWithAnEmptyOrTooLongRefreshStillApplyOnStartUp) {
    threeGames();
    lastServer("Game", "0");
    lastServer("IP", "   ");  // blanks count as filled in
    lastServer("Port", "1");
    lastServer("Refresh", "");
    open();
    EXPECT_EQ(txtRefresh()->text(), "0");
    ASSERT_EQ(control->calls.size(), 1);
    EXPECT_EQ(control->calls[0].args[0].toString(), "   ");

    lastServer("Refresh", "70");
    open();
    EXPECT_EQ(txtRefresh()->text(), "65");
    ASSERT_EQ(desktop.messages.size(), 1);
    EXPECT_EQ(desktop.messages[0].text,
              "The maximum time for refreshes is 65 seconds.  Refresh has been set to 65.");
}

using ShutDown = WindowTest;

TEST_F(ShutDown, WritesExactlyTheSixValuesAsTheControlsShowThem) {
    threeGames();
    open();
    cboGame()->setCurrentIndex(2);
    cboPlayers()->setEditText("lots");
    txtIP()->setText(" host ");
    txtPort()->setText("");
    txtRefresh()->setText("12abc");
    chkDetials()->setValue(2);
    store.writes.clear();
    EXPECT_TRUE(window->close());
    QStringList written;
    for (const auto& write : store.writes) {
        EXPECT_EQ(write.application, "Tamarin");
        EXPECT_EQ(write.section, "LastServer");
        written << write.key + "=" + write.text;
    }
    EXPECT_EQ(written, QStringList({"Game=2", "Players=lots", "IP= host ", "Port=", "Refresh=12abc",
                                    "Details=2"}));
}

TEST_F(ShutDown, NothingSelectedAndAnEmptyPlayersFieldComeBackSoNextTime) {
    open();
    cboPlayers()->setEditText("");
    window->close();
    EXPECT_EQ(saved("Game"), "-1");
    EXPECT_EQ(saved("Players"), "");
    open();
    EXPECT_EQ(cboGame()->currentIndex(), -1);
    EXPECT_EQ(cboPlayers()->currentText(), "");
}

// A store that refuses to write one key, as a full disk might refuse one write of several; it
// refuses a batch holding that key as a whole.
class RefusingStore : public MemoryStore {
  public:
    QString refusedKey;
    void save(const QString& a, const QString& s, const QString& k, const QString& t) override {
        if (k == refusedKey) {
            throw StepFailure("refused");
        }
        MemoryStore::save(a, s, k, t);
    }
    void saveAll(const QString& a, const QList<SettingValue>& batch) override {
        for (const SettingValue& value : batch) {
            if (value.key == refusedKey) {
                throw StepFailure("refused");
            }
        }
        MemoryStore::saveAll(a, batch);
    }
};

TEST(ShutDownRefused, ARefusedSaveKeepsTheOthersAndTheCloseGoesAhead) {
    for (const char* refused : {"Game", "IP", "Details"}) {
        RefusingStore store;
        store.refusedKey = refused;
        ScriptedDesktop desktop;
        frmMain window(store, desktop, [](TwipsScale scale, QWidget* parent) {
            return new FakeControl(scale, parent);
        });
        window.show();
        EXPECT_TRUE(window.close());
        EXPECT_FALSE(window.isVisible());
        for (const char* key : {"Game", "Players", "IP", "Port", "Refresh", "Details"}) {
            EXPECT_EQ(store.contains("Tamarin", "LastServer", key), QString(key) != refused)
                << refused << " " << key;
        }
    }
}

TEST_F(ShutDown, TheSixValuesGoToTheStoreInOneWrite) {
    open();
    window->close();
    EXPECT_EQ(store.saveAllCalls, 1);
}

TEST_F(ShutDown, RunsOnceEvenWhenTheWindowIsAskedToCloseTwice) {
    open();
    window->close();
    window->close();
    EXPECT_EQ(store.writes.size(), 6);
}

// A text box gives back what it restored, however long: Qt cuts at 32767 characters by default.
TEST_F(ShutDown, RestoredTextsOfAnyLengthGoBackUnchanged) {
    const QString longText = QString(40'000, u'9') + QChar(0xE9);
    for (const char* key : {"IP", "Port", "Refresh"}) {
        lastServer(key, longText + key);
    }
    open();
    window->close();
    for (const char* key : {"IP", "Port", "Refresh"}) {
        EXPECT_EQ(saved(key), longText + key) << key;
    }
}

}  // namespace tamarin
