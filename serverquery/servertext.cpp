#include "serverquery/servertext.h"

#include <QStringDecoder>
#include <algorithm>

namespace tamarin {

namespace {

QString decodeUtf8OrLatin1(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        return QString::fromLatin1(bytes);
    }
    return text;
}

// C0, DEL and C1: nothing a label could show.
bool isControl(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

}  // namespace

QString decodeServerText(QByteArrayView bytes) {
    QString text = decodeUtf8OrLatin1(bytes);
    text.removeIf(isControl);
    return text;
}

QString cutText(const QString& text, qsizetype length) {
    if (text.size() <= length) {
        return text;
    }
    QString cut = text.left(std::max<qsizetype>(0, length));
    if (!cut.isEmpty() && cut.back().isHighSurrogate()) {
        cut.chop(1);
    }
    return cut;
}

}  // namespace tamarin
