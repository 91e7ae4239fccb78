#include <QScopedValueRollback>

#include "common/numbers.h"
#include "common/refresh.h"
#include "common/steps.h"
#include "common/variants.h"
#include "settings/vireoconfig.h"
#include "window/frmMain.h"
#include "window/texts.h"

// Step 1: the user's choices reach the preview, then the layout and the snippet follow.
namespace tamarin {

namespace {

constexpr qint16 kMostRefreshSeconds = refresh::kMostRefreshSeconds;

// A step-5 failure with the words the user is shown.
class NotApplied : public StepFailure {
  public:
    explicit NotApplied(const QString& reason) : StepFailure(reason.toStdString()) {}
};

// The refresh the preview will get, when the text converts; otherwise the number the text begins
// with, so that a text like "100abc" is still caught by the limit.
double refreshToJudge(const QString& text) {
    if (const std::optional<qint16> seconds = tryWholeText16(text)) {
        return *seconds;
    }
    return leadingNumberValue(text);
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
    if (const std::optional<QString> why = failureOf([this] { configureServer(); })) {
        runStep([this, &why] {
            desktop_.showMessage(QString::fromLatin1(texts::kNotApplied) + *why, MessageIcon::Error,
                                 MessageButtons::Ok);
        });
    }
    runStep([this] { ArrangePreview(); });
    runStep([this] { BuildHtml(); });
}

// The inputs are filled when the address, port and players texts are not empty (blanks count as
// filled in) and a game is selected; the refresh box does not count. Start-up asks the same of
// the restored values before it applies them.
bool frmMain::inputsFilled() const {
    return !txtIP->text().isEmpty() && !txtPort->text().isEmpty() &&
           cboGame->currentIndex() != -1 && !cboPlayers->currentText().isEmpty();
}

bool frmMain::validateInputs() {
    if (!inputsFilled()) {
        desktop_.showMessage(QString::fromLatin1(texts::kMissingInformation), MessageIcon::Error,
                             MessageButtons::Ok);
        return false;
    }
    return true;
}

void frmMain::limitRefresh() {
    const bool overLimit = attempt([this] {
                               return refreshToJudge(txtRefresh->text()) > kMostRefreshSeconds;
                           }).value_or(false);
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
    const QString gameType = vireoconfig::gameValue(store_, GameKeys[game], vireoconfig::kGameType);
    const std::optional<qint16> seconds = tryWholeText16(txtRefresh->text());
    if (!seconds) {
        throw NotApplied(QString::fromLatin1(texts::kRefreshNotWhole));
    }
    const qint32 interval = qint32(*seconds) * 1000;
    QVariantList args = {address, port, gameType, GameKeys[game], interval, QString()};
    // The key is handed over by reference: no reload may replace GameKeys until the call returns.
    const QScopedValueRollback hold(gameKeysHeld_, true);
    if (const std::optional<QString> refusal =
            failureOf([&] { Vireo->call(dispid::ConfigureServer, args); })) {
        throw NotApplied(QString::fromLatin1(texts::kControlRefused) + *refusal);
    }
}

}  // namespace tamarin
