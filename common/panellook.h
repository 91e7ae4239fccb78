#pragma once

// The status panel's look, defined once. The preview on the window draws it, the gateway's banner
// writes it, and the web panel's stylesheet receives it as CSS custom properties generated from
// here when the gateway is built: no surface keeps a copy of its own.
namespace tamarin::look {

// Where things sit, in twips (1,440 to the inch, 15 to the pixel at 96 dpi), so the layout follows
// the screen's resolution as the window does.
inline constexpr int kTwipsPerPixelAt96Dpi = 15;
inline constexpr int kMarginTwips = 90;
inline constexpr int kTitleTopTwips = 45;
inline constexpr int kTitleHeightTwips = 285;
inline constexpr int kSummaryTopTwips = 330;
inline constexpr int kSummaryHeightTwips = 270;
// The column headings sit between the summary and the first row, the rule just under them.
inline constexpr int kHeadingsTopTwips = 585;
inline constexpr int kHeadingsHeightTwips = 150;
inline constexpr int kSeparatorTwips = 757;
inline constexpr int kButtonTopTwips = 60;
inline constexpr int kButtonSizeTwips = 240;
// Player rows start under the headings, one after another. Five rows need 1,740 twips; every
// further row takes another 195.
inline constexpr int kRowsTopTwips = 765;
inline constexpr int kRowHeightTwips = 195;
// The panel without its rows: the title line and the summary.
inline constexpr int kCollapsedHeightTwips = 645;
// The most a 16-bit height can say.
inline constexpr int kMaxHeightTwips = 32767;
// The width the snippet gives the control on a page.
inline constexpr int kWidthPx = 514;

// The palette, as 0xRRGGBB.
inline constexpr unsigned kPanel = 0x1c222e;
inline constexpr unsigned kText = 0xe6e9ef;
inline constexpr unsigned kDimText = 0x9aa3b2;
inline constexpr unsigned kSeparator = 0x3a4456;
inline constexpr unsigned kOnline = 0x7cd992;
inline constexpr unsigned kTrouble = 0xf09a6a;

// A length in twips as whole pixels at 96 dpi, rounded to the nearest.
constexpr int pixelsAt96Dpi(int twips) {
    return (twips + kTwipsPerPixelAt96Dpi / 2) / kTwipsPerPixelAt96Dpi;
}

}  // namespace tamarin::look
