#include "gateway/text.h"

namespace tamarin::gateway {

namespace {

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

}  // namespace

QString cleanServerText(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            clean.append(text.at(i));
            clean.append(text.at(++i));
            continue;
        }
        if (isControl(c) || QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF) {
            continue;
        }
        clean.append(QChar(c));
    }
    return clean;
}

QString xmlEscaped(const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '<':
                escaped += QLatin1String("&lt;");
                break;
            case '>':
                escaped += QLatin1String("&gt;");
                break;
            case '&':
                escaped += QLatin1String("&amp;");
                break;
            case '"':
                escaped += QLatin1String("&quot;");
                break;
            case '\'':
                escaped += QLatin1String("&apos;");
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace tamarin::gateway
