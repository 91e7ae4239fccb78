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

void frmMain::on_frmMain_load() {
    runStep([this] { LoadGameList(); });
    runStep([this] { cboPlayers->clearAll(); });
    for (int n = kFewestPlayers; n <= kMostPlayers; ++n) {
        runStep([this, n] { cboPlayers->appendEntry(decimalText(n)); });
    }
    restoreLastServer();
    runSteps({
        [this] { txtHTML->setSnippet(QString()); },
        [this] { txtHTML->hide(); },
        [this] { Vireo->put(dispid::Visible, true); },
        [this] { setCaption(cmdSave, texts::kSaveCaption); },
        [this] { setCaption(cmdShow, texts::kShowHtmlCaption); },
    });
    if (attempt([this] { return inputsFilled(); }).value_or(false)) {
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

void frmMain::on_frmMain_unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    saveLastServer();
}

void frmMain::saveLastServer() {
    QList<SettingValue> values;
    auto value = [&](const char* key, const std::function<QString()>& text) {
        runStep([&] { values.append({texts::kLastServer, key, text()}); });
    };
    value("Game", [this] { return decimalText(narrowTo16(cboGame->currentIndex())); });
    value("Players", [this] { return cboPlayers->currentText(); });
    value("IP", [this] { return txtIP->text(); });
    value("Port", [this] { return txtPort->text(); });
    value("Refresh", [this] { return txtRefresh->text(); });
    value("Details", [this] { return decimalText(narrowTo16(chkDetials->value())); });
    // One write, so a crash during the close leaves either the old or the new six values. When
    // the store refuses it, each value is tried on its own, so one refusal costs only that value.
    if (runStep([&] { store_.saveAll(texts::kApplication, values); })) {
        return;
    }
    for (const SettingValue& each : values) {
        runStep([&] { store_.save(texts::kApplication, each.section, each.key, each.text); });
    }
}

}  // namespace tamarin
