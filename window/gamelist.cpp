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
    const int listed = vireoconfig::listedGames(count, GameKeys);
    for (int i = 0; i < listed; ++i) {
        const int position = attempt([&] {
                                 return cboGame->addSorted(vireoconfig::gameValue(
                                     store_, GameKeys[i], vireoconfig::kGameName));
                             }).value_or(-1);
        if (position >= 0) {
            runStep([&] { cboGame->setItemData(position, i); });
        }
    }
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
