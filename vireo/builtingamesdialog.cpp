#include "vireo/builtingamesdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "common/guardedconnect.h"
#include "vireo/vireotexts.h"

namespace tamarin {

BuiltInGamesDialog::BuiltInGamesDialog(const QList<GameEntry>& missing, QWidget* parent)
    : QDialog(parent), missing_(missing) {
    setWindowTitle(QString::fromUtf8(vireotexts::kBuiltInTitle));
    auto* prompt = new QLabel(QString::fromUtf8(vireotexts::kBuiltInPrompt), this);
    prompt->setTextFormat(Qt::PlainText);
    list_ = new QListWidget(this);
    list_->setObjectName("builtInGames");
    for (const GameEntry& game : missing_) {
        auto* item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(game.name, game.gameType));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        list_->addItem(item);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connectGuarded(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connectGuarded(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(460, 420);
}

QList<GameEntry> BuiltInGamesDialog::chosen() const {
    QList<GameEntry> games;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->checkState() == Qt::Checked) {
            games.append(missing_.at(i));
        }
    }
    return games;
}

}  // namespace tamarin
