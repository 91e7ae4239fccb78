#include "statuscontrol/statuscontrol.h"

#include "common/steps.h"
#include "common/variants.h"

namespace tamarin {

namespace {
bool isExtender(dispid::DispId id) {
    return id >= dispid::Left && id <= dispid::Visible;
}
}  // namespace

StatusControl::StatusControl(TwipsScale scale, QWidget* parent) : QWidget(parent), scale_(scale) {}

QVariant StatusControl::get(dispid::DispId id) {
    return isExtender(id) ? getExtender(id) : getOwn(id);
}

void StatusControl::put(dispid::DispId id, const QVariant& value) {
    if (isExtender(id)) {
        putExtender(id, value);
    } else {
        putOwn(id, value);
    }
}

QVariant StatusControl::call(dispid::DispId id, QVariantList& args) {
    return callOwn(id, args);
}

void StatusControl::setOwnHeightTwips(double twips) {
    const int pixels = scale_.toPixelsY(twips);
    if (pixels == height()) {
        return;
    }
    resize(width(), pixels);
    emit PreviewResized();
}

QVariant StatusControl::getExtender(dispid::DispId id) const {
    switch (id) {
        case dispid::Left:
            return float(scale_.toTwipsX(x()));
        case dispid::Top:
            return float(scale_.toTwipsY(y()));
        case dispid::Width:
            return float(scale_.toTwipsX(width()));
        case dispid::Height:
            return float(scale_.toTwipsY(height()));
        case dispid::Visible:
            // The control's own flag, as the container keeps it, also before the window is shown.
            return !isHidden();
        default:
            throw StepFailure("the container has no such property");
    }
}

void StatusControl::putExtender(dispid::DispId id, const QVariant& value) {
    if (id != dispid::Visible) {
        throw StepFailure("the container's position and size are read only here");
    }
    setVisible(variantToBool(value));
}

}  // namespace tamarin
