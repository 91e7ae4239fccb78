#include "twips.h"

#include <cmath>

namespace tamarin {

namespace {
int toPixels(double twips, float twipsPerPixel) {
    if (!(twipsPerPixel > 0.0f)) {
        return 0;
    }
    return int(std::lround(twips / double(twipsPerPixel)));
}
}  // namespace

TwipsScale TwipsScale::fromDpi(double dpiX, double dpiY) {
    TwipsScale scale;
    if (dpiX > 0.0) {
        scale.twipsPerPixelX = float(kTwipsPerInch / dpiX);
    }
    if (dpiY > 0.0) {
        scale.twipsPerPixelY = float(kTwipsPerInch / dpiY);
    }
    return scale;
}

int TwipsScale::toPixelsX(double twips) const {
    return toPixels(twips, twipsPerPixelX);
}
int TwipsScale::toPixelsY(double twips) const {
    return toPixels(twips, twipsPerPixelY);
}

}  // namespace tamarin
