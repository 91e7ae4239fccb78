#include <cmath>

#include "common/numbers.h"
#include "common/steps.h"
#include "common/variants.h"
#include "snippet/snippet.h"
#include "window/frmMain.h"
#include "window/texts.h"

// The bottom rectangle: the preview and the snippet box take turns in it, the snippet box always
// lies exactly over the preview, and the window ends a fixed margin below it.
namespace tamarin {

namespace {

constexpr qint16 kFewestPlayers = 5;
constexpr qint16 kTwipsPerRow = 195;
constexpr qint16 kFivePlayerHeight = 1740;
constexpr float kMarginBelowPreview = 450.0f;

float twipsOf(StatusControl* control, dispid::DispId id) {
    return variantToSingle(control->get(id));
}

}  // namespace

void frmMain::ArrangePreview() {
    const qint16 offset = attempt([this] {
                              return sub16(wholeText16(cboPlayers->currentText()), kFewestPlayers);
                          }).value_or(0);
    runStep([&] {
        const qint16 expanded = add16(mul16(offset, kTwipsPerRow), kFivePlayerHeight);
        Vireo->put(dispid::ExpandedHight, qint32(expanded));
    });
    runStep([this] { layOverPreview(); });
    runStep([this] { fitWindowToPreview(); });
}

// A control that stops answering ends the re-layout (the guard around every handler catches its
// failure); the window stays as it was.
void frmMain::on_Vireo_PreviewResized() {
    layOverPreview();
    fitWindowToPreview();
}

void frmMain::layOverPreview() {
    const float left = twipsOf(Vireo, dispid::Left);
    const float top = twipsOf(Vireo, dispid::Top);
    const float width = twipsOf(Vireo, dispid::Width);
    const float height = twipsOf(Vireo, dispid::Height);
    placeTwips(txtHTML, left, top, width, height);
}

void frmMain::fitWindowToPreview() {
    const float top = twipsOf(Vireo, dispid::Top);
    const float height = twipsOf(Vireo, dispid::Height);
    const float outer = top + height + kMarginBelowPreview;
    if (!std::isfinite(outer) || outer <= 0.0f) {
        throw StepFailure("the window cannot be that high");
    }
    setOuterHeightTwips(outer);
}

void frmMain::on_cmdShow_clicked() {
    const std::optional<bool> previewShowing =
        attempt([this] { return variantToBool(Vireo->get(dispid::Visible)); });
    if (!previewShowing) {
        return;
    }
    if (*previewShowing) {
        runSteps({
            [this] { BuildHtml(); },
            [this] { txtHTML->show(); },
            [this] { Vireo->put(dispid::Visible, false); },
            [this] { setCaption(cmdShow, texts::kShowVireoCaption); },
        });
    } else {
        runSteps({
            [this] { txtHTML->hide(); },
            [this] { Vireo->put(dispid::Visible, true); },
            [this] { setCaption(cmdShow, texts::kShowHtmlCaption); },
        });
    }
}

void frmMain::BuildHtml() {
    const double twipsPerPixel = desktop_.twipsPerPixelY();
    const double heightTwips = twipsOf(Vireo, dispid::Height);
    if (twipsPerPixel == 0.0) {
        throw StepFailure("the screen reports no pixel size");
    }
    const double pixels = heightTwips / twipsPerPixel;
    if (!std::isfinite(pixels)) {
        throw StepFailure("the preview's height in pixels cannot be worked out");
    }
    SnippetValues values;
    values.pixelHeight = roundToInt32(pixels);
    values.gameType = variantToText(Vireo->get(dispid::GameType));
    values.hostName = variantToText(Vireo->get(dispid::HostName));
    values.hostPort = variantToInt32(Vireo->get(dispid::HostPort));
    values.version = variantToText(Vireo->get(dispid::Version));
    values.refreshInterval = variantToInt32(Vireo->get(dispid::RefreshInterval));
    values.details = variantToBool(Vireo->get(dispid::Details));
    values.expandedHight = variantToInt32(Vireo->get(dispid::ExpandedHight));
    txtHTML->setSnippet(snippetText(values));
    if (!txtHTML->isHidden()) {
        txtHTML->setFocus();
        txtHTML->selectAllText();
    }
}

}  // namespace tamarin
