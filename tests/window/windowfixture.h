#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "platform/scripteddesktop.h"
#include "tests/support/fakecontrol.h"
#include "tests/support/memorystore.h"
#include "tests/support/printers.h"
#include "window/controls.h"
#include "window/frmMain.h"

namespace tamarin {

// Builds the real window on a store in memory, a scripted desktop and a fake status control.
class WindowTest : public ::testing::Test {
  protected:
    MemoryStore store;
    ScriptedDesktop desktop;
    std::unique_ptr<frmMain> window;
    FakeControl* control = nullptr;

    frmMain& open() {
        window = std::make_unique<frmMain>(store, desktop, [this](TwipsScale scale, QWidget* p) {
            control = new FakeControl(scale, p);
            return control;
        });
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

    template <typename T>
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

}  // namespace tamarin
