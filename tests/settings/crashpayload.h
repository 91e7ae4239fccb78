#pragma once

#include <QString>

namespace tamarin {

// The two contents the kill test saves in turn: large enough that a save takes a while, of
// different lengths so that a mix of the two is neither, and full of what needs quoting.
inline QString crashPayload(int which) {
    using namespace Qt::Literals::StringLiterals;
    const QString piece = which == 0 ? u"first \"quoted\"\r\n; é 中 😀 \\ [x] a=b\t"_s
                                     : u"SECOND, other\ncontent # ü 😀😀 "_s;
    const qsizetype length = which == 0 ? 100'000 : 150'000;
    QString text;
    while (text.size() < length) {
        text += piece + QString::number(text.size());
    }
    return text;
}

}  // namespace tamarin
