#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "serverquery/serverstatus.h"

namespace tamarin {

// The Quake III Arena status query (also OpenArena and Enemy Territory): one "getstatus" datagram
// out, one "statusResponse" datagram back with the server's settings and one line per player.

QByteArray quake3StatusRequest();

// Reads a statusResponse datagram. A reply that is not one, or whose settings line did not arrive
// whole, gives std::nullopt; a player line cut short at the end is left out, so a truncated reply
// never shows a half-read name. The result's state is Online.
std::optional<ServerStatus> parseQuake3StatusReply(QByteArrayView datagram);

// Removes Quake III colour codes: a caret followed by any character except another caret (the
// game's own rule). A caret before a caret is kept as a literal caret and the second one is looked
// at again, so "^^7x" reads "^x"; a caret at the very end is kept.
QString stripQuake3Colours(const QString& text);

}  // namespace tamarin
