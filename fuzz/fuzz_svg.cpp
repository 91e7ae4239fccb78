// libFuzzer target: hostile server texts through the SVG banner and the status JSON. Both must
// stay well-formed, and no text may turn into an element of its own.
#include <QJsonDocument>
#include <QSet>
#include <QXmlStreamReader>
#include <cstddef>
#include <cstdint>

#include "gateway/statusjson.h"
#include "gateway/svgbanner.h"

using namespace tamarin;
using namespace tamarin::gateway;

namespace {

// Odd fields are read as raw UTF-16 (lone surrogates included), even ones as UTF-8.
QString textOf(const QByteArray& field, int index) {
    if (index % 2 == 1) {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(field.constData()),
                                  field.size() / 2);
    }
    return QString::fromUtf8(field);
}

PublishedStatus statusFrom(const QList<QByteArray>& fields, quint8 flags) {
    PublishedStatus p;
    p.key = {QStringLiteral("q3"), textOf(fields.value(0), 0), 27960};
    p.status.state = (flags & 1) ? ServerStatus::State::Online : ServerStatus::State::Refused;
    p.status.name = textOf(fields.value(1), 1);
    p.status.map = textOf(fields.value(2), 2);
    p.status.players = int(fields.size()) - 3;
    p.status.maxPlayers = flags;
    for (int i = 3; i < fields.size(); ++i) {
        p.status.rows.append({textOf(fields[i], i), i * (flags - 128), -i});
    }
    p.queriedAt = QDateTime::fromSecsSinceEpoch(flags);
    p.stale = flags & 2;
    return p;
}

void checkSvg(const QByteArray& svg) {
    static const QSet<QString> drawn{"svg", "title", "rect", "text", "line"};
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            !drawn.contains(xml.name().toString())) {
            __builtin_trap();  // a server text became markup
        }
    }
    if (xml.hasError()) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const quint8 flags = data[0];
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const PublishedStatus published = statusFrom(rest.split('\0'), flags);
    checkSvg(bannerSvg(published, BannerLayout{bool(flags & 4), flags >> 3}));
    QJsonParseError error;
    QJsonDocument::fromJson(statusJson(published), &error);
    if (error.error != QJsonParseError::NoError) {
        __builtin_trap();
    }
    return 0;
}
