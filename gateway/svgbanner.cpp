#include "gateway/svgbanner.h"

#include <algorithm>

#include "common/panellook.h"
#include "gateway/statusjson.h"
#include "gateway/text.h"
#include "serverquery/servertext.h"

namespace tamarin::gateway {

namespace {

using namespace look;

// The preview's layout, drawn at 96 dpi as the preview is.
constexpr int px(int twips) {
    return pixelsAt96Dpi(twips);
}
constexpr int kWidth = kWidthPx;
constexpr int kCollapsedHeight = px(kCollapsedHeightTwips);
constexpr int kMargin = px(kMarginTwips);
constexpr int kTitleTop = px(kTitleTopTwips);
constexpr int kTitleHeight = px(kTitleHeightTwips);
constexpr int kSummaryTop = px(kSummaryTopTwips);
constexpr int kSummaryHeight = px(kSummaryHeightTwips);
constexpr int kHeadingsTop = px(kHeadingsTopTwips);
constexpr int kHeadingsHeight = px(kHeadingsTopTwips + kHeadingsHeightTwips) - kHeadingsTop;
constexpr int kSeparator = px(kSeparatorTwips);
constexpr int kRowsTop = px(kRowsTopTwips);
constexpr int kRowHeight = px(kRowHeightTwips);
constexpr int kButtonTop = px(kButtonTopTwips);
constexpr int kButtonSize = px(kButtonSizeTwips);
constexpr int kTitleFont = kTitleHeight * 3 / 4;
constexpr int kPlainFont = kSummaryHeight * 2 / 3;
constexpr int kRowFont = kPlainFont;  // rows read as easily as the summary, as on the preview
constexpr int kHeadingFont = kHeadingsHeight * 9 / 10;

QString colour(unsigned rgb) {
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

QString toneColour(StatusTone tone) {
    switch (tone) {
        case StatusTone::Online:
            return colour(kOnline);
        case StatusTone::Trouble:
            return colour(kTrouble);
        case StatusTone::Dim:
            break;
    }
    return colour(kDimText);  // an old answer is shown, but not as good news
}

// SVG cannot measure text for us: texts are cut by an average glyph width, generously, so a
// long name ends in an ellipsis instead of running under the state.
int charsThatFit(int widthPx, int fontPx, bool bold) {
    const double average = fontPx * (bold ? 0.62 : 0.56);
    return std::max(0, int(widthPx / average));
}

QString elided(const QString& text, int widthPx, int fontPx, bool bold = false) {
    const int fit = charsThatFit(widthPx, fontPx, bold);
    if (text.size() <= fit) {
        return text;
    }
    return cutText(text, fit - 1) + QChar(0x2026);
}

// Every text goes through cleaning and escaping here, whatever its source: the key's host and
// game are checked before they get this far, but this writer does not count on it.
class SvgWriter {
  public:
    void text(int x, double centreY, int fontPx, unsigned rgb, const QString& content,
              const char* extra = "") {
        textIn(x, centreY, fontPx, colour(rgb), content, extra);
    }
    void textIn(int x, double centreY, int fontPx, const QString& fill, const QString& content,
                const char* extra = "") {
        out_ += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"%3\" fill=\"%4\"%5>")
                    .arg(x)
                    .arg(centreY)
                    .arg(fontPx)
                    .arg(fill, QLatin1String(extra));
        out_ += xmlEscaped(cleanServerText(content));
        out_ += QLatin1String("</text>");
    }
    void raw(const QString& markup) { out_ += markup; }
    QByteArray finish() { return out_.toUtf8(); }

  private:
    QString out_;
};

void writeHeader(SvgWriter& svg, const StatusView& view, int height) {
    const QString label =
        xmlEscaped(cleanServerText(view.title + QStringLiteral(" \u2014 ") + view.stateText));
    svg.raw(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                           "viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"%3\" "
                           "font-family=\"DejaVu Sans, Verdana, sans-serif\" "
                           "dominant-baseline=\"central\" xml:space=\"preserve\">")
                .arg(kWidth)
                .arg(height)
                .arg(label));
    svg.raw(QStringLiteral("<title>%1</title>").arg(label));
    svg.raw(QStringLiteral("<rect width=\"%1\" height=\"%2\" fill=\"%3\"/>")
                .arg(kWidth)
                .arg(height)
                .arg(colour(kPanel)));
}

void writeStatusBlock(SvgWriter& svg, const StatusView& view, bool details) {
    const int buttonLeft = kWidth - kMargin - kButtonSize;
    const int right = buttonLeft - kMargin;
    const double titleCentre = kTitleTop + kTitleHeight / 2.0;
    const QString& state = view.stateText;
    svg.textIn(right, titleCentre, kPlainFont, toneColour(view.tone), state,
               " text-anchor=\"end\"");
    const int stateWidth = int(state.size() * kPlainFont * 0.56) + 1;
    // The server's picture, checked as a small PNG when it was read, goes in as data.
    const int iconWidth = view.icon.isEmpty() ? 0 : kTitleHeight + 4;
    if (iconWidth > 0) {
        svg.raw(QStringLiteral("<image x=\"%1\" y=\"%2\" width=\"%3\" height=\"%3\" "
                               "href=\"data:image/png;base64,%4\"/>")
                    .arg(kMargin)
                    .arg(kTitleTop)
                    .arg(kTitleHeight)
                    .arg(QString::fromLatin1(view.icon.toBase64())));
    }
    svg.text(
        kMargin + iconWidth, titleCentre, kTitleFont, kText,
        elided(view.title, right - kMargin - iconWidth - stateWidth - kMargin, kTitleFont, true),
        " font-weight=\"bold\"");
    svg.text(kMargin, kSummaryTop + kSummaryHeight / 2.0, kPlainFont, kDimText,
             elided(view.summary, kWidth - 2 * kMargin, kPlainFont));
    svg.text(buttonLeft + kButtonSize / 2, kButtonTop + kButtonSize / 2.0, kPlainFont, kText,
             details ? QStringLiteral("\u2212") : QStringLiteral("+"), " text-anchor=\"middle\"");
}

// Small headings over the columns, and how many players got no row, right after the name heading.
void writeHeadings(SvgWriter& svg, int right, int numberWidth, const QString& more) {
    const double centre = kHeadingsTop + kHeadingsHeight / 2.0;
    const QString player = QString::fromUtf8(words::kPlayerHeading);
    svg.text(kMargin, centre, kHeadingFont, kDimText, player);
    if (numberWidth > 0) {
        svg.text(right - numberWidth, centre, kHeadingFont, kDimText,
                 QString::fromUtf8(words::kScoreHeading), " text-anchor=\"end\"");
        svg.text(right, centre, kHeadingFont, kDimText, QString::fromUtf8(words::kPingHeading),
                 " text-anchor=\"end\"");
    }
    if (!more.isEmpty()) {
        const int gap = int((player.size() + 2) * kHeadingFont * 0.56);
        svg.text(kMargin + gap, centre, kHeadingFont, kText, more);
    }
}

void writeRows(SvgWriter& svg, const StatusView& view) {
    svg.raw(QStringLiteral("<line x1=\"%1\" y1=\"%2.5\" x2=\"%3\" y2=\"%2.5\" stroke=\"%4\"/>")
                .arg(kMargin)
                .arg(kSeparator)
                .arg(kWidth - kMargin)
                .arg(colour(look::kSeparator)));
    const int right = kWidth - kMargin;
    // "-0000000", as the preview reserves; none for a game that lists names only.
    const int numberWidth = view.rowNumbers ? int(8 * kRowFont * 0.56) : 0;
    if (!view.rows.isEmpty()) {
        writeHeadings(svg, right, numberWidth, view.moreText);
    }
    for (int row = 0; row < int(view.rows.size()); ++row) {
        const PlayerRow& player = view.rows.at(row);
        const double centre = kRowsTop + row * kRowHeight + kRowHeight / 2.0;
        const int nameWidth = right - 2 * numberWidth - kMargin;
        svg.text(kMargin, centre, kRowFont, kText, elided(player.name, nameWidth, kRowFont));
        if (numberWidth == 0) {
            continue;
        }
        svg.text(right - numberWidth, centre, kRowFont, kDimText, QString::number(player.score),
                 " text-anchor=\"end\"");
        svg.text(right, centre, kRowFont, kDimText, QString::number(player.ping),
                 " text-anchor=\"end\"");
    }
}

}  // namespace

QByteArray bannerSvg(const PublishedStatus& published, const BannerLayout& layout) {
    const int rows = layout.details ? std::clamp(layout.rows, 0, kMaxBannerRows) : 0;
    const int height = layout.details ? std::max(kCollapsedHeight, kRowsTop + rows * kRowHeight)
                                      : kCollapsedHeight;
    const StatusView view = viewOf(published, rows);
    SvgWriter svg;
    writeHeader(svg, view, height);
    writeStatusBlock(svg, view, layout.details);
    if (layout.details) {
        writeRows(svg, view);
    }
    svg.raw(QStringLiteral("</svg>"));
    return svg.finish();
}

}  // namespace tamarin::gateway
