#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "tests/fakeservers/fakeservers.h"
#include "tests/support/memorystore.h"
#include "vireo/optionsdialog.h"

using namespace tamarin;

namespace {

QMessageBox* shownMessage(QWidget* over) {
    const auto boxes = over->findChildren<QMessageBox*>();
    return boxes.isEmpty() ? nullptr : boxes.last();
}

void fillEditor(QWidget* editor, const QString& key, const QString& name, const QString& port,
                const QString& type) {
    editor->findChild<QLineEdit*>("key")->setText(key);
    editor->findChild<QLineEdit*>("name")->setText(name);
    editor->findChild<QLineEdit*>("port")->setText(port);
    auto* types = editor->findChild<QComboBox*>("gameType");
    types->setCurrentIndex(types->findData(type));
}

class OptionsDialogTest : public ::testing::Test {
  protected:
    OptionsDialogTest() { GameCatalog::writeDefaultsIfUnconfigured(store); }

    MemoryStore store;
};

TEST_F(OptionsDialogTest, ARefusedGameIsExplainedAndTheEditorStaysOpen) {
    int applied = 0;
    GameEditDialog editor({}, [&](const GameEntry& game) {
        ++applied;
        return game.key.contains(',') ? QString("<b>no commas</b>") : QString();
    });
    editor.show();
    fillEditor(&editor, "a,b", "Name", "1", "q3");
    editor.accept();
    EXPECT_EQ(applied, 1);
    EXPECT_TRUE(editor.isVisible());
    QMessageBox* box = shownMessage(&editor);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "<b>no commas</b>");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);

    fillEditor(&editor, "ab", "Name", "1", "q3");
    editor.accept();
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(editor.entry(), (GameEntry{"ab", "Name", "1", "q3"}));
}

TEST_F(OptionsDialogTest, AStoredUnknownGameTypeIsShownAsStored) {
    GameEditDialog editor({"k", "n", "1", "quake9"}, [](const GameEntry&) { return QString(); });
    EXPECT_EQ(editor.entry().gameType, "quake9");
}

TEST_F(OptionsDialogTest, AddEditRemoveAndUpdateWriteTheListOnlyOnUpdate) {
    OptionsDialog dialog(store);
    auto* games = dialog.findChild<QTreeWidget*>("games");
    ASSERT_EQ(games->topLevelItemCount(), 9);
    EXPECT_EQ(games->topLevelItem(0)->text(1), "Quake III Arena");

    QTimer::singleShot(0, [] {
        QWidget* editor = QApplication::activeModalWidget();
        ASSERT_NE(editor, nullptr);
        fillEditor(editor, "ut", "Unreal <i>", "7777", "source");
        QMetaObject::invokeMethod(editor, "accept");
    });
    dialog.addGame();
    ASSERT_EQ(games->topLevelItemCount(), 10);
    EXPECT_EQ(dialog.currentGame(), 9);
    EXPECT_EQ(games->topLevelItem(9)->text(1), "Unreal <i>");

    dialog.setCurrentGame(0);
    QTimer::singleShot(0, [] {
        QWidget* editor = QApplication::activeModalWidget();
        ASSERT_NE(editor, nullptr);
        editor->findChild<QLineEdit*>("port")->setText("27961");
        QMetaObject::invokeMethod(editor, "accept");
    });
    dialog.editGame();
    dialog.setCurrentGame(1);
    dialog.removeGame();
    EXPECT_EQ(games->topLevelItemCount(), 9);
    EXPECT_EQ(store.saveAllCalls, 1);  // only the defaults so far

    dialog.updateGameList();
    EXPECT_EQ(store.saveAllCalls, 2);
    EXPECT_EQ(store.get("Vireo", "Config", "ServerCount", "?"), "8");
    EXPECT_EQ(store.get("Vireo", "Config", "GameList", "?"),
              "q3a,et,hl,cs,tf2,cs2,minecraft,mbe,ut");
    EXPECT_EQ(store.get("Vireo", "q3a", "DefaultPort", "?"), "27961");
    ASSERT_NE(shownMessage(&dialog), nullptr);
    EXPECT_EQ(shownMessage(&dialog)->icon(), QMessageBox::Information);
}

TEST_F(OptionsDialogTest, AFailedUpdateSaysSoAndKeepsTheList) {
    OptionsDialog dialog(store);
    store.refuseSaves = true;
    dialog.updateGameList();
    ASSERT_NE(shownMessage(&dialog), nullptr);
    EXPECT_EQ(shownMessage(&dialog)->icon(), QMessageBox::Warning);
    EXPECT_EQ(dialog.catalog().games().size(), 9);
}

}  // namespace

TEST_F(OptionsDialogTest, BuiltInGamesJoinTheListWhenTickedAndATestSaysWhatCameBack) {
    OptionsDialog dialog(store);
    auto* games = dialog.findChild<QTreeWidget*>("games");
    QTimer::singleShot(0, [] {
        QWidget* chooser = QApplication::activeModalWidget();
        ASSERT_NE(chooser, nullptr);
        auto* list = chooser->findChild<QListWidget*>("builtInGames");
        const auto found = list->findItems("Valheim (valheim)", Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        found.first()->setCheckState(Qt::Checked);
        QMetaObject::invokeMethod(chooser, "accept");
    });
    dialog.addBuiltInGames();
    ASSERT_EQ(games->topLevelItemCount(), 10);
    EXPECT_EQ(dialog.catalog().games().last(),
              (GameEntry{"valheim", "Valheim", "2456", "valheim", "+1"}));
    EXPECT_EQ(store.saveAllCalls, 1);  // written, as every change, by Update Game List

    // The test asks the query port, game port + 1, and says the game port had no answer.
    fake::FakeA2sServer server;
    server.setSilent(true);
    QTimer::singleShot(0, [&server] {
        QWidget* tester = QApplication::activeModalWidget();
        ASSERT_NE(tester, nullptr);
        tester->findChild<QLineEdit*>("address")->setText("127.0.0.1");
        tester->findChild<QLineEdit*>("port")->setText(QString::number(server.port() - 1));
        QMetaObject::invokeMethod(tester, "test");
        auto* result = tester->findChild<QLabel*>("result");
        const QString expected = QString("no answer on %1").arg(server.port());
        EXPECT_TRUE(QTest::qWaitFor([&] { return result->text().contains(expected); }, 5000))
            << result->text().toStdString();
        EXPECT_FALSE(server.requests().isEmpty());
        QMetaObject::invokeMethod(tester, "reject");
    });
    dialog.testServer();
}
