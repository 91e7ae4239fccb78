#include <QScopedValueRollback>

#include "common/numbers.h"
#include "common/steps.h"
#include "common/variants.h"
#include "window/frmMain.h"
#include "window/texts.h"

// Step 1: the user's choices reach the preview, then the layout and the snippet follow.
namespace tamarin {

namespace {

constexpr qint16 kMostRefreshSeconds = 65;

// A step-5 failure with the words the user is shown.
class NotApplied : public StepFailure {
  public:
    explicit NotApplied(const QString& reason) : StepFailure(reason.toStdString()) {}
};

// The refresh the preview will get, when the text converts; otherwise the number the text begins
// with, so that a text like "100abc" is still caught by the limit.
double refreshToJudge(const QString& text) {
    try {
        return wholeText16(text);
    } catch (const StepFailure&) {
        return leadingNumberValue(text);
    }
}

}  // namespace

void frmMain::ApplyOptions() {
    if (!validateInputs()) {
        return;
    }
    runStep([this] {
        if (txtRefresh->text().isEmpty()) {
            txtRefresh->setText(QStringLiteral("0"));
        }
    });
    limitRefresh();
    runStep([this] { Vireo->put(dispid::Details, chkDetials->value() != 0); });
    runStep([this] {
        try {
            configureServer();
        } catch (const StepFailure& failure) {
            desktop_.showMessage(
                QString::fromLatin1(texts::kNotApplied) + QString::fromStdString(failure.what()),
                MessageIcon::Error, MessageButtons::Ok);
            throw;
        }
    });
    runStep([this] { ArrangePreview(); });
    runStep([this] { BuildHtml(); });
}

bool frmMain::validateInputs() {
    const QString address = txtIP->text();
    const QString port = txtPort->text();
    const int game = cboGame->currentIndex();
    const QString players = cboPlayers->currentText();
    if (address.isEmpty() || port.isEmpty() || game == -1 || players.isEmpty()) {
        desktop_.showMessage(QString::fromLatin1(texts::kMissingInformation), MessageIcon::Error,
                             MessageButtons::Ok);
        return false;
    }
    return true;
}

void frmMain::limitRefresh() {
    bool overLimit = false;
    runStep([&] { overLimit = refreshToJudge(txtRefresh->text()) > kMostRefreshSeconds; });
    if (!overLimit) {
        return;
    }
    runStep([this] { txtRefresh->setText(decimalText(kMostRefreshSeconds)); });
    runStep([this] {
        desktop_.showMessage(QString::fromLatin1(texts::kRefreshLimit), MessageIcon::None,
                             MessageButtons::Ok);
    });
}

void frmMain::configureServer() {
    const QString address = txtIP->text();
    const QString port = txtPort->text();
    const qint32 game = variantToInt32(cboGame->currentData());
    if (game < 0 || game >= GameKeys.size()) {
        throw NotApplied(QString::fromLatin1(texts::kGameNotListed));
    }
    const QString gameType = store_.get(texts::kVireo, GameKeys[game], "GameType", QString());
    qint16 seconds = 0;
    try {
        seconds = wholeText16(txtRefresh->text());
    } catch (const StepFailure&) {
        throw NotApplied(QString::fromLatin1(texts::kRefreshNotWhole));
    }
    const qint32 interval = qint32(seconds) * 1000;
    QVariantList args = {address, port, gameType, GameKeys[game], interval, QString()};
    // The key is handed over by reference: no reload may replace GameKeys until the call returns.
    const QScopedValueRollback hold(gameKeysHeld_, true);
    try {
        Vireo->call(dispid::ConfigureServer, args);
    } catch (const StepFailure& refusal) {
        throw NotApplied(QString::fromLatin1(texts::kControlRefused) +
                         QString::fromStdString(refusal.what()));
    }
}

}  // namespace tamarin
