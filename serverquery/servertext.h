#pragma once

#include <QByteArrayView>
#include <QString>

namespace tamarin {

// Decodes a text a game server sent. Servers send UTF-8, Latin-1 or the Windows code page without
// saying which: valid UTF-8 is read as UTF-8, anything else byte for byte as Latin-1, so a bad
// byte never takes the rest of the text with it. Control characters (C0, DEL, C1) are dropped
// because they mean nothing on a label and some servers use them as font tricks.
QString decodeServerText(QByteArrayView bytes);

// At most the first `length` code units of a text, never half a surrogate pair.
QString cutText(const QString& text, qsizetype length);

}  // namespace tamarin
