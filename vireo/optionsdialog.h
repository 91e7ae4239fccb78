#pragma once

#include <QDialog>
#include <functional>

#include "settings/settingsstore.h"
#include "vireo/gamecatalog.h"

class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace tamarin {

// Shows a message over a dialog without waiting for it: window-modal, plain text.
void showDialogMessage(QWidget* over, const QString& text, bool isError);

// Asks for one game. OK hands the game to `apply`, which answers with a refusal (shown, and the
// editor stays open) or an empty text (the editor closes).
class GameEditDialog : public QDialog {
    Q_OBJECT

  public:
    using Apply = std::function<QString(const GameEntry&)>;

    GameEditDialog(const GameEntry& entry, Apply apply, QWidget* parent = nullptr);
    GameEntry entry() const;

  public slots:
    void accept() override;

  private:
    void fillGameTypes(const QString& current);

    Apply apply_;
    QLineEdit* key_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* port_ = nullptr;
    QComboBox* type_ = nullptr;
    QLineEdit* queryPort_ = nullptr;
};

// The control's options screen: the configured games, with Add, Edit and Remove, and
// "Update Game List" that writes the whole list at once. Nothing is written before that.
class OptionsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit OptionsDialog(SettingsStore& store, QWidget* parent = nullptr);

    const GameCatalog& catalog() const { return catalog_; }
    int currentGame() const;
    void setCurrentGame(int index);

  public slots:
    void addGame();
    void editGame();
    void removeGame();
    void updateGameList();
    // Offers the built-in games the list lacks; the chosen ones join the list (written, as every
    // change, by "Update Game List").
    void addBuiltInGames();
    // Asks a server of the current game, as the preview would, and says what came back and why.
    void testServer();

  private:
    void fillList();
    bool runEditor(const QString& title, const GameEntry& entry,
                   const GameEditDialog::Apply& apply);

    SettingsStore& store_;
    GameCatalog catalog_;
    QTreeWidget* list_ = nullptr;
};

}  // namespace tamarin
