#include "common/numbers.h"
#include "common/steps.h"
#include "common/variants.h"
#include "settings/vireoconfig.h"
#include "window/frmMain.h"
#include "window/texts.h"

// The game drop-down: filled from the status control's own configuration, each entry tied to its
// game key through GameKeys by the item data it carries, never by its position in the list.
namespace tamarin {

void frmMain::LoadGameList() {
    runStep([this] { cboGame->clearEntries(); });
    const qint16 count = attempt([this] { return vireoconfig::serverCount(store_); }).value_or(0);
    if (count < 0) {
        return;
    }
    runStep([this] {
        if (gameKeysHeld_) {
            throw StepFailure("the game keys are in use");
        }
        GameKeys = vireoconfig::gameKeys(store_);
    });
    // A game number beyond the keys adds no entry. The names go into the list together, each
    // carrying its game number.
    const int listed = vireoconfig::listedGames(count, GameKeys);
    QList<std::pair<QString, int>> entries;
    for (int i = 0; i < listed; ++i) {
        runStep([&] {
            entries.append(
                {vireoconfig::gameValue(store_, GameKeys[i], vireoconfig::kGameName), i});
        });
    }
    runStep([&] { cboGame->addAllSorted(entries); });
}

void frmMain::on_cmdReload_clicked() {
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
        txtPort->setText(vireoconfig::gameValue(store_, GameKeys[game], vireoconfig::kDefaultPort));
    });
}

}  // namespace tamarin
