#include "vireo/optionsdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/guardedconnect.h"
#include "common/steps.h"
#include "serverquery/gametypes.h"
#include "serverquery/serverstatus.h"
#include "vireo/builtingamesdialog.h"
#include "vireo/servertestdialog.h"
#include "vireo/vireotexts.h"

namespace tamarin {

namespace {

using namespace vireotexts;

enum Column { KeyColumn, NameColumn, PortColumn, QueryPortColumn, TypeColumn, ColumnCount };

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString typeLabel(const GameTypeInfo& type) {
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(type.name),
                                         QString::fromUtf8(type.code));
}

}  // namespace

void showDialogMessage(QWidget* over, const QString& message, bool isError) {
    // Keys and names come from the store and from typing: never let the box read them as markup.
    auto* box = new QMessageBox(isError ? QMessageBox::Warning : QMessageBox::Information,
                                over->windowTitle(), message, QMessageBox::Ok, over);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

GameEditDialog::GameEditDialog(const GameEntry& entry, Apply apply, QWidget* parent)
    : QDialog(parent), apply_(std::move(apply)) {
    key_ = new QLineEdit(entry.key, this);
    key_->setObjectName("key");
    name_ = new QLineEdit(entry.name, this);
    name_->setObjectName("name");
    port_ = new QLineEdit(entry.defaultPort, this);
    port_->setObjectName("port");
    type_ = new QComboBox(this);
    type_->setObjectName("gameType");
    fillGameTypes(entry.gameType);
    queryPort_ = new QLineEdit(entry.queryPort, this);
    queryPort_->setObjectName("queryPort");
    queryPort_->setPlaceholderText(text(kQueryPortHint));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connectGuarded(buttons, &QDialogButtonBox::accepted, this, &GameEditDialog::accept);
    connectGuarded(buttons, &QDialogButtonBox::rejected, this, &GameEditDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(text(kKeyLabel), key_);
    form->addRow(text(kNameLabel), name_);
    form->addRow(text(kPortLabel), port_);
    form->addRow(text(kTypeLabel), type_);
    form->addRow(text(kQueryPortLabel), queryPort_);
    form->addRow(buttons);
}

void GameEditDialog::fillGameTypes(const QString& current) {
    // Over a hundred games: by name, as a reader looks for one.
    QList<GameTypeInfo> types = knownGameTypes();
    std::stable_sort(types.begin(), types.end(), [](const GameTypeInfo& a, const GameTypeInfo& b) {
        return QString::fromUtf8(a.name).compare(QString::fromUtf8(b.name), Qt::CaseInsensitive) <
               0;
    });
    for (const GameTypeInfo& type : types) {
        type_->addItem(typeLabel(type), QString::fromUtf8(type.code));
    }
    if (current.isEmpty()) {
        return;
    }
    // A stored alias shows as its game, and is kept as stored until the user picks another.
    const GameTypeInfo* known = findGameType(current);
    int found = known ? type_->findData(QString::fromUtf8(known->code)) : -1;
    if (known && current.trimmed() != QString::fromUtf8(known->code)) {
        type_->setItemData(found, current);
    }
    // A code we cannot query still shows as what is stored, so the user sees why it is refused.
    if (found < 0) {
        type_->addItem(text(kUnknownTypeItem).arg(current), current);
        found = type_->count() - 1;
    }
    type_->setCurrentIndex(found);
}

GameEntry GameEditDialog::entry() const {
    return {key_->text(), name_->text(), port_->text(), type_->currentData().toString(),
            queryPort_->text()};
}

void GameEditDialog::accept() {
    const QString refusal = apply_(entry());
    if (!refusal.isEmpty()) {
        showDialogMessage(this, refusal, true);
        return;
    }
    QDialog::accept();
}

OptionsDialog::OptionsDialog(SettingsStore& store, QWidget* parent)
    : QDialog(parent), store_(store), catalog_(GameCatalog::read(store)) {
    setWindowTitle(text(kOptionsTitle));

    list_ = new QTreeWidget(this);
    list_->setObjectName("games");
    list_->setColumnCount(ColumnCount);
    list_->setHeaderLabels({text(kKeyColumn), text(kNameColumn), text(kPortColumn),
                            text(kQueryPortColumn), text(kTypeColumn)});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    connectGuarded(list_, &QTreeWidget::itemDoubleClicked, this, &OptionsDialog::editGame);

    auto* add = new QPushButton(text(kAddButton), this);
    auto* edit = new QPushButton(text(kEditButton), this);
    auto* remove = new QPushButton(text(kRemoveButton), this);
    auto* builtIn = new QPushButton(text(kBuiltInButton), this);
    builtIn->setObjectName("builtIn");
    auto* test = new QPushButton(text(kTestButton), this);
    test->setObjectName("test");
    auto* update = new QPushButton(text(kUpdateButton), this);
    auto* close = new QPushButton(text(kCloseButton), this);
    update->setObjectName("update");
    connectGuarded(add, &QPushButton::clicked, this, &OptionsDialog::addGame);
    connectGuarded(edit, &QPushButton::clicked, this, &OptionsDialog::editGame);
    connectGuarded(remove, &QPushButton::clicked, this, &OptionsDialog::removeGame);
    connectGuarded(builtIn, &QPushButton::clicked, this, &OptionsDialog::addBuiltInGames);
    connectGuarded(test, &QPushButton::clicked, this, &OptionsDialog::testServer);
    connectGuarded(update, &QPushButton::clicked, this, &OptionsDialog::updateGameList);
    connectGuarded(close, &QPushButton::clicked, this, &OptionsDialog::reject);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {add, edit, remove, builtIn, test}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(update);
    buttons->addWidget(close);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(720, 360);
    fillList();
}

int OptionsDialog::currentGame() const {
    return list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : -1;
}

void OptionsDialog::setCurrentGame(int index) {
    list_->setCurrentItem(list_->topLevelItem(index));
}

void OptionsDialog::fillList() {
    const int current = currentGame();
    list_->clear();
    for (const GameEntry& game : catalog_.games()) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(KeyColumn, game.key);
        item->setText(NameColumn, game.name);
        item->setText(PortColumn, game.defaultPort);
        item->setText(QueryPortColumn,
                      game.queryPort.isEmpty() ? text(kGamePortItem) : game.queryPort);
        item->setText(TypeColumn, game.gameType);
    }
    setCurrentGame(std::min(current, int(catalog_.games().size()) - 1));
}

bool OptionsDialog::runEditor(const QString& title, const GameEntry& entry,
                              const GameEditDialog::Apply& apply) {
    GameEditDialog editor(entry, apply, this);
    editor.setWindowTitle(title);
    if (editor.exec() != QDialog::Accepted) {
        return false;
    }
    fillList();
    return true;
}

void OptionsDialog::addGame() {
    const auto add = [this](const GameEntry& entry) { return catalog_.add(entry); };
    if (runEditor(text(kAddTitle), {}, add)) {
        setCurrentGame(int(catalog_.games().size()) - 1);
    }
}

void OptionsDialog::editGame() {
    const int index = currentGame();
    if (index < 0) {
        return;
    }
    const auto replace = [this, index](const GameEntry& entry) {
        return catalog_.replace(index, entry);
    };
    runEditor(text(kEditTitle), catalog_.games().at(index), replace);
}

void OptionsDialog::removeGame() {
    if (catalog_.remove(currentGame())) {
        fillList();
    }
}

void OptionsDialog::updateGameList() {
    try {
        catalog_.saveTo(store_);
        showDialogMessage(this, text(kUpdated), false);
    } catch (const StepFailure& failure) {
        showDialogMessage(this, text(kNotWritten).arg(QString::fromStdString(failure.what())),
                          true);
    }
}

void OptionsDialog::addBuiltInGames() {
    const QList<GameEntry> missing = catalog_.missingBuiltInGames();
    if (missing.isEmpty()) {
        showDialogMessage(this, text(kNoneMissing), false);
        return;
    }
    BuiltInGamesDialog chooser(missing, this);
    if (chooser.exec() != QDialog::Accepted) {
        return;
    }
    for (const GameEntry& game : chooser.chosen()) {
        if (const QString refusal = catalog_.add(game); !refusal.isEmpty()) {
            showDialogMessage(this, refusal, true);  // the list is full
            break;
        }
    }
    fillList();
    setCurrentGame(int(catalog_.games().size()) - 1);
}

void OptionsDialog::testServer() {
    const int index = currentGame();
    if (index < 0) {
        showDialogMessage(this, text(kNoGameChosen), false);
        return;
    }
    ServerTestDialog tester(catalog_.games().at(index), this);
    tester.exec();
}

}  // namespace tamarin
