#include "common/numbers.h"
#include "common/steps.h"
#include "common/variants.h"
#include "window/frmMain.h"
#include "window/texts.h"

// The game drop-down: filled from the status control's own configuration, each entry tied to its
// game key through GameKeys by the item data it carries, never by its position in the list.
namespace tamarin {

namespace {

QString vireoValue(const SettingsStore& store, const QString& section, const char* key) {
    return store.get(QString::fromLatin1(texts::kVireo), section, QString::fromLatin1(key),
                     QString());
}

QStringList splitGameList(const QString& gameList) {
    // Pieces stay exactly as they are; an empty list has no keys at all.
    return gameList.isEmpty() ? QStringList() : gameList.split(QLatin1Char(','));
}

}  // namespace

void frmMain::LoadGameList() {
    const QString config = QString::fromLatin1(texts::kConfig);
    runStep([this] { cboGame->clearEntries(); });
    qint16 count = 0;
    runStep([&] { count = wholeText16(store_.get(texts::kVireo, config, "ServerCount", "-1")); });
    if (count < 0) {
        return;
    }
    runStep([&] {
        if (gameKeysHeld_) {
            throw StepFailure("the game keys are in use");
        }
        GameKeys = splitGameList(vireoValue(store_, config, "GameList"));
    });
    // A game number beyond the keys adds no entry, so the loop ends with the keys. The names
    // go into the list together, each carrying its game number.
    const int last = qMin<int>(count, int(GameKeys.size()) - 1);
    QList<std::pair<QString, int>> entries;
    for (int i = 0; i <= last; ++i) {
        runStep([&] { entries.append({vireoValue(store_, GameKeys[i], "GameName"), i}); });
    }
    runStep([&] { cboGame->addAllSorted(entries); });
}

void frmMain::cmdReload_Click() {
    const MessageAnswer answer =
        desktop_.showMessage(QString::fromLatin1(texts::kReloadQuestion), MessageIcon::Information,
                             MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes) {
        LoadGameList();
    }
}

void frmMain::FillDefaultPort() {
    // With nothing selected there is no game to look up, and the port box is left as it is.
    if (cboGame->currentIndex() < 0) {
        return;
    }
    runStep([this] {
        const qint32 game = variantToInt32(cboGame->currentData());
        if (game < 0 || game >= GameKeys.size()) {
            throw StepFailure("the entry has no game key");
        }
        txtPort->setText(vireoValue(store_, GameKeys[game], "DefaultPort"));
    });
}

}  // namespace tamarin
