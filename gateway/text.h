#pragma once

#include <QString>

namespace tamarin::gateway {

// A text from a game server made safe to put anywhere: control characters, unpaired surrogates
// and the noncharacters U+FFFE and U+FFFF (which XML refuses) are dropped. The engine already
// drops control characters; this is the last line before JSON and SVG, so it trusts nothing.
QString cleanServerText(const QString& text);

// The text as XML character data or attribute value: markup characters become entities.
QString xmlEscaped(const QString& text);

}  // namespace tamarin::gateway
