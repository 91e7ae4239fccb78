#include "gateway/svgbanner.h"

#include <algorithm>

#include "gateway/text.h"
#include "serverquery/gametypes.h"

namespace tamarin::gateway {

namespace {

// The preview's layout in twips, drawn at 96 dpi (15 twips a pixel) as the preview is.
constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
constexpr int kWidth = 514;
constexpr int kCollapsedHeight = px(645);
constexpr int kMargin = px(90);
constexpr int kTitleTop = px(45);
constexpr int kTitleHeight = px(285);
constexpr int kSummaryTop = px(330);
constexpr int kSummaryHeight = px(270);
constexpr int kHeadingsTop = px(585);
constexpr int kHeadingsHeight = px(735) - px(585);
constexpr int kSeparator = px(757);
constexpr int kRowsTop = px(765);
constexpr int kRowHeight = px(195);
constexpr int kButtonTop = px(60);
constexpr int kButtonSize = px(240);
constexpr int kTitleFont = kTitleHeight * 3 / 4;
constexpr int kPlainFont = kSummaryHeight * 2 / 3;
constexpr int kRowFont = kPlainFont;  // rows read as easily as the summary, as on the preview
constexpr int kHeadingFont = kHeadingsHeight * 9 / 10;

constexpr const char* kPanel = "#1c222e";
constexpr const char* kText = "#e6e9ef";
constexpr const char* kDimText = "#9aa3b2";
constexpr const char* kSeparatorColour = "#3a4456";
constexpr const char* kOnline = "#7cd992";
constexpr const char* kTrouble = "#f09a6a";

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
    QString cut = text.left(std::max(0, fit - 1));
    if (!cut.isEmpty() && cut.back().isHighSurrogate()) {
        cut.chop(1);
    }
    return cut + QChar(0x2026);
}

QString addressText(const ServerKey& key) {
    const QString host = key.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + key.host + QLatin1Char(']')
                             : key.host;
    return host + QLatin1Char(':') + QString::number(key.port);
}

QString gameName(const QString& code) {
    for (const GameTypeInfo& type : knownGameTypes()) {
        if (code == QLatin1String(type.code)) {
            return QString::fromLatin1(type.description);
        }
    }
    return code;
}

QString titleText(const PublishedStatus& p) {
    const QString name = cleanServerText(p.status.name);
    return p.status.state == ServerStatus::State::Online && !name.isEmpty() ? name
                                                                            : addressText(p.key);
}

QString summaryText(const PublishedStatus& p) {
    QStringList parts;
    const bool online = p.status.state == ServerStatus::State::Online;
    if (online) {
        const QString map = cleanServerText(p.status.map);
        parts << (map.isEmpty() ? QStringLiteral("no map") : map);
        parts << QStringLiteral("%1/%2 players").arg(p.status.players).arg(p.status.maxPlayers);
    }
    parts << gameName(p.key.game);
    if (online) {
        parts << addressText(p.key);
    }
    return parts.join(QStringLiteral("  \u00b7  "));
}

const char* stateColour(const PublishedStatus& p) {
    if (p.stale) {
        return kDimText;  // an old answer: shown, but not as good news
    }
    return p.status.state == ServerStatus::State::Online ? kOnline : kTrouble;
}

// Every text goes through cleaning and escaping here, whatever its source: the key's host and
// game are checked before they get this far, but this writer does not count on it.
class SvgWriter {
  public:
    void text(int x, double centreY, int fontPx, const char* colour, const QString& content,
              const char* extra = "") {
        out_ += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"%3\" fill=\"%4\"%5>")
                    .arg(x)
                    .arg(centreY)
                    .arg(fontPx)
                    .arg(QLatin1String(colour), QLatin1String(extra));
        out_ += xmlEscaped(cleanServerText(content));
        out_ += QLatin1String("</text>");
    }
    void raw(const QString& markup) { out_ += markup; }
    QByteArray finish() { return out_.toUtf8(); }

  private:
    QString out_;
};

void writeHeader(SvgWriter& svg, const PublishedStatus& p, int height, const QString& state) {
    const QString label =
        xmlEscaped(cleanServerText(titleText(p) + QStringLiteral(" \u2014 ") + state));
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
                .arg(QLatin1String(kPanel)));
}

void writeStatusBlock(SvgWriter& svg, const PublishedStatus& p, const QString& state,
                      bool details) {
    const int buttonLeft = kWidth - kMargin - kButtonSize;
    const int right = buttonLeft - kMargin;
    const double titleCentre = kTitleTop + kTitleHeight / 2.0;
    svg.text(right, titleCentre, kPlainFont, stateColour(p), state, " text-anchor=\"end\"");
    const int stateWidth = int(state.size() * kPlainFont * 0.56) + 1;
    svg.text(kMargin, titleCentre, kTitleFont, kText,
             elided(titleText(p), right - kMargin - stateWidth - kMargin, kTitleFont, true),
             " font-weight=\"bold\"");
    svg.text(kMargin, kSummaryTop + kSummaryHeight / 2.0, kPlainFont, kDimText,
             elided(summaryText(p), kWidth - 2 * kMargin, kPlainFont));
    svg.text(buttonLeft + kButtonSize / 2, kButtonTop + kButtonSize / 2.0, kPlainFont, kText,
             details ? QStringLiteral("\u2212") : QStringLiteral("+"), " text-anchor=\"middle\"");
}

// Small headings over the columns, and how many players got no row, right after the name heading.
void writeHeadings(SvgWriter& svg, int right, int numberWidth, int shown, int listed) {
    const double centre = kHeadingsTop + kHeadingsHeight / 2.0;
    svg.text(kMargin, centre, kHeadingFont, kDimText, QStringLiteral("Player"));
    svg.text(right - numberWidth, centre, kHeadingFont, kDimText, QStringLiteral("Score"),
             " text-anchor=\"end\"");
    svg.text(right, centre, kHeadingFont, kDimText, QStringLiteral("Ping"), " text-anchor=\"end\"");
    if (listed > shown) {
        const int gap = int(QStringLiteral("Player  ").size() * kHeadingFont * 0.56);
        svg.text(kMargin + gap, centre, kHeadingFont, kText,
                 QStringLiteral("+%1 more").arg(listed - shown));
    }
}

void writeRows(SvgWriter& svg, const PublishedStatus& p, int rows) {
    svg.raw(QStringLiteral("<line x1=\"%1\" y1=\"%2.5\" x2=\"%3\" y2=\"%2.5\" stroke=\"%4\"/>")
                .arg(kMargin)
                .arg(kSeparator)
                .arg(kWidth - kMargin)
                .arg(QLatin1String(kSeparatorColour)));
    const int right = kWidth - kMargin;
    const int numberWidth = int(8 * kRowFont * 0.56);  // "-0000000", as the preview reserves
    const bool online = p.status.state == ServerStatus::State::Online;
    const int shown = online ? std::min(rows, int(p.status.rows.size())) : 0;
    if (shown > 0) {
        writeHeadings(svg, right, numberWidth, shown, int(p.status.rows.size()));
    }
    for (int row = 0; row < shown; ++row) {
        const PlayerRow& player = p.status.rows.at(row);
        const double centre = kRowsTop + row * kRowHeight + kRowHeight / 2.0;
        const int nameWidth = right - 2 * numberWidth - kMargin;
        svg.text(kMargin, centre, kRowFont, kText,
                 elided(cleanServerText(player.name), nameWidth, kRowFont));
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
    const QString state = stateName(published.status.state);
    SvgWriter svg;
    writeHeader(svg, published, height, state);
    writeStatusBlock(svg, published, state, layout.details);
    if (layout.details) {
        writeRows(svg, published, rows);
    }
    svg.raw(QStringLiteral("</svg>"));
    return svg.finish();
}

}  // namespace tamarin::gateway
