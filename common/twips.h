#pragma once

// Twips are the window's unit: 1440 to the inch. Designed positions and sizes are kept in twips
// and turned into pixels here, and nowhere else.
namespace tamarin {

inline constexpr double kTwipsPerInch = 1440.0;

struct TwipsScale {
    float twipsPerPixelX = 15.0f;
    float twipsPerPixelY = 15.0f;

    // From the screen's logical dots per inch; 96 dpi gives 15 twips a pixel.
    static TwipsScale fromDpi(double dpiX, double dpiY);

    int toPixelsX(double twips) const;
    int toPixelsY(double twips) const;
    double toTwipsX(int pixels) const { return pixels * double(twipsPerPixelX); }
    double toTwipsY(int pixels) const { return pixels * double(twipsPerPixelY); }
};

}  // namespace tamarin
