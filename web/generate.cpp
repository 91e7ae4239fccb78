// Writes the web panel's script and stylesheet for the gateway to serve: the hand-written files
// with the shared facts filled in (the games, the words, the refresh floor, the layout and the
// palette), taken from the one home the preview and the banner use too. Run by the build.
// Usage: vireo_web_assets <vireo.js> <vireo.css> <out.js> <out.css>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>

#include "common/panellook.h"
#include "common/refresh.h"
#include "serverquery/gametypes.h"
#include "serverquery/statusview.h"

using namespace tamarin;

namespace {

// The panel's type size at 100 %, in pixels: the preview's plain text.
constexpr int kBasePx = 12;

QJsonObject gameNames() {
    QJsonObject games;
    for (const GameTypeInfo& type : knownGameTypes()) {
        games.insert(QString::fromUtf8(type.code), QString::fromUtf8(type.name));
    }
    return games;
}

QJsonObject panelWords() {
    const auto word = [](const char* text) { return QString::fromUtf8(text); };
    return {
        {QStringLiteral("notQueried"), stateWords(ServerStatus::State::NotQueried)},
        {QStringLiteral("querying"), stateWords(ServerStatus::State::Querying)},
        {QStringLiteral("unavailable"), word(words::kUnavailable)},
        {QStringLiteral("stale"), word(words::kStale)},
        {QStringLiteral("staleAge"), word(words::kStaleAge)},
        {QStringLiteral("seconds"), word(words::kAgeSeconds)},
        {QStringLiteral("minutes"), word(words::kAgeMinutes)},
        {QStringLiteral("hours"), word(words::kAgeHours)},
        {QStringLiteral("noServer"), word(words::kNoServer)},
        {QStringLiteral("more"), word(words::kMoreRows)},
        {QStringLiteral("player"), word(words::kPlayerHeading)},
        {QStringLiteral("score"), word(words::kScoreHeading)},
        {QStringLiteral("ping"), word(words::kPingHeading)},
        {QStringLiteral("show"), word(words::kShowPlayers)},
        {QStringLiteral("hide"), word(words::kHidePlayers)},
    };
}

QByteArray sharedFacts() {
    using namespace look;
    const QJsonObject facts{
        {QStringLiteral("twipsPerPx"), kTwipsPerPixelAt96Dpi},
        {QStringLiteral("collapsedTwips"), kCollapsedHeightTwips},
        {QStringLiteral("rowsTopTwips"), kRowsTopTwips},
        {QStringLiteral("rowTwips"), kRowHeightTwips},
        {QStringLiteral("maxTwips"), kMaxHeightTwips},
        {QStringLiteral("summaryTopTwips"), kSummaryTopTwips},
        {QStringLiteral("basePx"), kBasePx},
        {QStringLiteral("minRefreshMs"), refresh::kMinRefreshMs},
        {QStringLiteral("games"), gameNames()},
        {QStringLiteral("words"), panelWords()},
    };
    return QJsonDocument(facts).toJson(QJsonDocument::Compact);
}

// A length of the layout in the panel's em, so that text zoom, a minimum font size or the page's
// --vireo-font-size grow the lines along with their text; exactly the preview's pixels at 100 %.
QString em(int twips) {
    return QStringLiteral("calc(%1em / %2)").arg(look::pixelsAt96Dpi(twips)).arg(kBasePx);
}

QString colour(unsigned rgb) {
    return QStringLiteral("#%1").arg(rgb, 6, 16, QLatin1Char('0'));
}

// The layout and the palette as custom properties of the panel, for the stylesheet's rules. A
// page may set the colours through --vireo-<colour> on the panel or above it; the layout is the
// panel's own.
QByteArray lookProperties() {
    using namespace look;
    const auto paletteColour = [](const char* name, unsigned rgb) {
        return QStringLiteral("var(--vireo-%1, %2)").arg(QLatin1String(name), colour(rgb));
    };
    const QList<std::pair<const char*, QString>> properties{
        {"width", QStringLiteral("%1px").arg(kWidthPx)},
        {"base-size", QStringLiteral("%1px").arg(kBasePx)},
        {"collapsed-height", em(kCollapsedHeightTwips)},
        {"margin", em(kMarginTwips)},
        {"title-top", em(kTitleTopTwips)},
        {"title-height", em(kTitleHeightTwips)},
        {"summary-top", em(kSummaryTopTwips)},
        {"summary-height", em(kSummaryHeightTwips)},
        {"headings-top", em(kHeadingsTopTwips)},
        {"headings-height", em(kHeadingsHeightTwips)},
        {"rows-top", em(kRowsTopTwips)},
        {"row-height", em(kRowHeightTwips)},
        {"button-top", em(kButtonTopTwips)},
        {"button-size", em(kButtonSizeTwips)},
        {"colour-panel", paletteColour("panel", kPanel)},
        {"colour-text", paletteColour("text", kText)},
        {"colour-dim-text", paletteColour("dim-text", kDimText)},
        {"colour-separator", paletteColour("separator", kSeparator)},
        {"colour-online", paletteColour("online", kOnline)},
        {"colour-trouble", paletteColour("trouble", kTrouble)},
    };
    QStringList lines{
        QStringLiteral("/* Generated from the panel's one definition of its look. */"),
        QStringLiteral(".vireo {")};
    for (const auto& [name, value] : properties) {
        lines << QStringLiteral("  --vireo-%1: %2;").arg(QLatin1String(name), value);
    }
    lines << QStringLiteral("}") << QString();
    return lines.join(QLatin1Char('\n')).toUtf8();
}

bool readFile(const char* path, QByteArray& text) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    text = file.readAll();
    return true;
}

bool writeFile(const char* path, const QByteArray& text) {
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text) == text.size() && file.flush();
}

constexpr const char* kMarker = "/*@shared@*/ null";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <vireo.js> <vireo.css> <out.js> <out.css>\n", argv[0]);
        return 2;
    }
    QByteArray script, style;
    if (!readFile(argv[1], script) || !readFile(argv[2], style)) {
        std::fprintf(stderr, "%s: cannot read the script or the stylesheet\n", argv[0]);
        return 1;
    }
    if (script.count(kMarker) != 1) {
        std::fprintf(stderr, "%s: the script must hold %s exactly once\n", argv[0], kMarker);
        return 1;
    }
    script.replace(kMarker, sharedFacts());
    if (!writeFile(argv[3], script) || !writeFile(argv[4], lookProperties() + style)) {
        std::fprintf(stderr, "%s: cannot write the results\n", argv[0]);
        return 1;
    }
    return 0;
}
