#include "common/numbers.h"
#include "common/steps.h"
#include "window/frmMain.h"
#include "window/texts.h"

// Start-up and shut-down: the two handlers that frame a run. Both skip a failed step and go on.
namespace tamarin {

namespace {
constexpr int kFewestPlayers = 5;
constexpr int kMostPlayers = 32;
}  // namespace

QString frmMain::lastServer(const char* key, const QString& defaultValue) const {
    return store_.get(QString::fromLatin1(texts::kApplication),
                      QString::fromLatin1(texts::kLastServer), QString::fromLatin1(key),
                      defaultValue);
}

void frmMain::Form_Load() {
    runStep([this] { LoadGameList(); });
    runStep([this] { cboPlayers->clearAll(); });
    for (int n = kFewestPlayers; n <= kMostPlayers; ++n) {
        runStep([this, n] { cboPlayers->appendEntry(decimalText(n)); });
    }
    restoreLastServer();
    runSteps({
        [this] { txtHTML->setSnippet(QString()); },
        [this] { txtHTML->hide(); },
        [this] { Vireo->put(vireo::Visible, true); },
        [this] { setCaption(cmdSave, texts::kSaveCaption); },
        [this] { setCaption(cmdShow, texts::kShowHtmlCaption); },
    });
    bool complete = false;
    runStep([this, &complete] { complete = restoredValuesComplete(); });
    if (complete) {
        runStep([this] { ApplyOptions(); });
    }
    runStep([this] { ArrangePreview(); });
}

void frmMain::restoreLastServer() {
    runSteps({
        [this] { cboGame->selectPosition(narrowTo16(wholeText32(lastServer("Game", "-1")))); },
        [this] { cboPlayers->setEditText(decimalText(wholeText32(lastServer("Players", "5")))); },
        [this] { txtIP->setText(lastServer("IP", QString())); },
        [this] { txtPort->setText(lastServer("Port", QString())); },
        [this] { txtRefresh->setText(lastServer("Refresh", QString())); },
        [this] { chkDetials->setValue(wholeText16(lastServer("Details", "1"))); },
    });
}

// The restored values are complete when the address, port and players texts are not empty
// (blanks count as filled in) and a game is selected; the refresh box does not count.
bool frmMain::restoredValuesComplete() {
    const QString address = txtIP->text();
    const QString port = txtPort->text();
    const int game = cboGame->currentIndex();
    const QString players = cboPlayers->currentText();
    return !address.isEmpty() && !port.isEmpty() && game != -1 && !players.isEmpty();
}

void frmMain::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    saveLastServer();
}

void frmMain::saveLastServer() {
    const QString app = QString::fromLatin1(texts::kApplication);
    const QString section = QString::fromLatin1(texts::kLastServer);
    runSteps({
        [&] {
            store_.save(app, section, "Game", decimalText(narrowTo16(cboGame->currentIndex())));
        },
        [&] { store_.save(app, section, "Players", cboPlayers->currentText()); },
        [&] { store_.save(app, section, "IP", txtIP->text()); },
        [&] { store_.save(app, section, "Port", txtPort->text()); },
        [&] { store_.save(app, section, "Refresh", txtRefresh->text()); },
        [&] { store_.save(app, section, "Details", decimalText(narrowTo16(chkDetials->value()))); },
    });
}

}  // namespace tamarin
