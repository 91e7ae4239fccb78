#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "platform/scripteddesktop.h"
#include "tests/support/fakecontrol.h"
#include "tests/support/memorystore.h"
#include "tests/support/printers.h"
#include "window/controls.h"
#include "window/frmMain.h"

namespace tamarin {

// The one harness of every test that builds the real window: a store in memory, a desktop (a
// scripted one unless a test needs the real one) and a status control, a recording fake unless
// the test hands in another factory.
template <typename DesktopType>
class WindowHarness : public ::testing::Test {
  protected:
    MemoryStore store;
    DesktopType desktop;
    std::unique_ptr<frmMain> window;
    FakeControl* control = nullptr;

    frmMain& open() {
        return open([this](TwipsScale scale, QWidget* p) {
            control = new FakeControl(scale, p);
            return control;
        });
    }
    frmMain& open(const frmMain::ControlFactory& makeControl) {
        window = std::make_unique<frmMain>(store, desktop, makeControl);
        return *window;
    }

    void lastServer(const QString& key, const QString& text) {
        store.seed("Tamarin", "LastServer", key, text);
    }
    QString saved(const QString& key) const {
        return store.get("Tamarin", "LastServer", key, QStringLiteral("<absent>"));
    }

    // Configures games for the status control: keys, with names, default ports and game types.
    struct Game {
        QString key, name, port, type;
    };
    void games(const QString& serverCount, const QString& gameList, const QList<Game>& list) {
        store.seed("Vireo", "Config", "ServerCount", serverCount);
        store.seed("Vireo", "Config", "GameList", gameList);
        for (const Game& game : list) {
            store.seed("Vireo", game.key, "GameName", game.name);
            store.seed("Vireo", game.key, "DefaultPort", game.port);
            store.seed("Vireo", game.key, "GameType", game.type);
        }
    }
    void threeGames() {
        games("2", "a,b,c",
              {{"a", "Alpha", "1001", "ta"},
               {"b", "Bravo", "1002", "tb"},
               {"c", "Charlie", "1003", "tc"}});
    }

    template <typename T = QWidget>
    T* find(const char* name) const {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    SortedComboBox* cboGame() const { return find<SortedComboBox>("cboGame"); }
    QComboBox* cboPlayers() const { return find<QComboBox>("cboPlayers"); }
    QLineEdit* txtIP() const { return find<QLineEdit>("txtIP"); }
    QLineEdit* txtPort() const { return find<QLineEdit>("txtPort"); }
    QLineEdit* txtRefresh() const { return find<QLineEdit>("txtRefresh"); }
    QPushButton* cmdSave() const { return find<QPushButton>("cmdSave"); }
    QPushButton* cmdShow() const { return find<QPushButton>("cmdShow"); }
    QPushButton* cmdReload() const { return find<QPushButton>("cmdReload"); }
    SnippetBox* txtHTML() const { return find<SnippetBox>("txtHTML"); }
    DetailsCheckBox* chkDetials() const { return find<DetailsCheckBox>("chkDetials"); }
    ClickableLabel* label(const char* name) const { return find<ClickableLabel>(name); }

    // The entry texts of a drop-down, in the order it shows them.
    static QStringList entries(const QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i) {
            texts << box->itemText(i);
        }
        return texts;
    }
};

using WindowTest = WindowHarness<ScriptedDesktop>;

// A window whose inputs are complete, so that Step 1 gets past its check: the second of three
// games (key b, game type tb) at 10.0.0.1, port 27015, 30 seconds, five players. Nothing that
// start-up did is left in the records.
class ReadyWindow : public WindowTest {
  protected:
    void SetUp() override { ready(); }

    void ready() {
        threeGames();
        open();
        cboGame()->setCurrentIndex(1);
        txtIP()->setText("10.0.0.1");
        txtPort()->setText("27015");
        txtRefresh()->setText("30");
        cboPlayers()->setEditText("5");
        forget();
    }

    void forget() {
        control->puts.clear();
        control->calls.clear();
        desktop.messages.clear();
    }

    void step1() { cmdSave()->click(); }
    void step2() { cmdShow()->click(); }

    // The values last written to one of the control's own properties.
    QVariantList written(dispid::DispId id) const {
        QVariantList values;
        for (const auto& put : control->puts) {
            if (put.first == id) {
                values << put.second;
            }
        }
        return values;
    }

    QStringList messageTexts() const {
        QStringList texts;
        for (const auto& message : desktop.messages) {
            texts << message.text;
        }
        return texts;
    }
};

}  // namespace tamarin
