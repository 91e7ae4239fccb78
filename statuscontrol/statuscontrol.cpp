#include "statuscontrol/statuscontrol.h"

#include "common/steps.h"
#include "common/variants.h"

namespace tamarin {

namespace {
bool isExtender(vireo::DispId id) {
    return id >= vireo::Left && id <= vireo::Visible;
}
}  // namespace

StatusControl::StatusControl(TwipsScale scale, QWidget* parent) : QWidget(parent), scale_(scale) {}

QVariant StatusControl::get(vireo::DispId id) {
    return isExtender(id) ? getExtender(id) : getOwn(id);
}

void StatusControl::put(vireo::DispId id, const QVariant& value) {
    if (isExtender(id)) {
        putExtender(id, value);
    } else {
        putOwn(id, value);
    }
}

QVariant StatusControl::call(vireo::DispId id, QVariantList& args) {
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

QVariant StatusControl::getExtender(vireo::DispId id) const {
    switch (id) {
        case vireo::Left:
            return float(scale_.toTwipsX(x()));
        case vireo::Top:
            return float(scale_.toTwipsY(y()));
        case vireo::Width:
            return float(scale_.toTwipsX(width()));
        case vireo::Height:
            return float(scale_.toTwipsY(height()));
        case vireo::Visible:
            // The control's own flag, as the container keeps it, also before the window is shown.
            return !isHidden();
        default:
            throw StepFailure("the container has no such property");
    }
}

void StatusControl::putExtender(vireo::DispId id, const QVariant& value) {
    if (id != vireo::Visible) {
        throw StepFailure("the container's position and size are read only here");
    }
    setVisible(variantToBool(value));
}

}  // namespace tamarin
