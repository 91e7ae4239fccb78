#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "gateway/serverkey.h"
#include "serverquery/serverstatus.h"
#include "serverquery/statusview.h"

namespace tamarin::gateway {

// A status as the gateway publishes it: what the server said (or the last good answer, kept
// through one failed query and marked stale), and when that was obtained.
struct PublishedStatus {
    ServerKey key;
    ServerStatus status;
    QDateTime queriedAt;
    bool stale = false;
    int minRefreshSeconds = 0;
    quint16 queriedPort = 0;  // the port the server was asked on; 0: it was not asked
};

// The state as pages read it: "online", "not answering", "refused" or "bad address".
QString stateName(ServerStatus::State state);
// The server as pages show it: host and port, an IPv6 address in brackets.
QString addressText(const ServerKey& key);
// What a published status means to a reader, its server texts cleaned, with room for `rows` rows.
StatusView viewOf(const PublishedStatus& published, int rows);

// The body of a 200 answer of /status.json. Server texts are cleaned JSON strings; name, map,
// rows and counts are only filled in for a server that is online.
QByteArray statusJson(const PublishedStatus& published);
// The body of an error answer: {"error": message, "state": state} and the words a page shows
// for it, as for a status: "stateText", "title", "gameName", "summary".
QByteArray errorJson(const QString& state, const QString& message, const ServerKey& key = {});
// A strong ETag (quoted) for a body.
QByteArray etagOf(const QByteArray& body);

}  // namespace tamarin::gateway
