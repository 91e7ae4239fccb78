#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>

#include "serverquery/queryconversation.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

// The All-Seeing Eye query (Multi Theft Auto: San Andreas on the game port + 123, Far Cry,
// Chrome...): the single byte "s" out, one "EYE1" datagram back. Every field in it is a text whose
// length byte counts itself: nine about the server, key/value rules up to an empty key, then one
// record per player whose flags byte says which fields follow.

QByteArray aseStatusRequest();

// Reads an EYE1 reply. A reply that is not one, or is cut off before the nine server fields, gives
// std::nullopt. A player record cut short at the end is left out whole, and so is one without a
// name; at most kAseMaxRows rows are kept, the rest counted in rowsLeftOut. The result's state is
// Online.
std::optional<ServerStatus> parseAseReply(QByteArrayView datagram);

inline constexpr int kAseMaxRows = 256;

// Removes Multi Theft Auto's colour codes: "#" followed by exactly six hex digits. Anything shorter
// is kept as written, so "#1" in a server name survives.
QString stripAseColours(const QString& text);

std::unique_ptr<QueryConversation> makeAseConversation();

}  // namespace tamarin
