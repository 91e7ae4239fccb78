#pragma once

#include <QString>
#include <QtGlobal>
#include <variant>

namespace tamarin::gateway {

// One game server as pages name it: the game-type code (lower case), the host (an IP literal in
// its canonical form, or a lower-case host name) and the port.
struct ServerKey {
    QString game;
    QString host;
    quint16 port = 0;

    // One text per server, used as the key of the cache and the allow-list.
    QString id() const;
    bool hostIsLiteral() const;
    friend bool operator==(const ServerKey&, const ServerKey&) = default;
};

struct KeyError {
    enum class Kind { BadRequest, UnknownGame };
    Kind kind = Kind::BadRequest;
    QString message;
};
using KeyOrError = std::variant<ServerKey, KeyError>;

// From the three query parameters of a request.
KeyOrError serverKeyFromParts(const QString& game, const QString& host, const QString& port);
// From an allow-list entry GAME:HOST:PORT (an IPv6 host in brackets).
KeyOrError serverKeyFromText(const QString& entry);
// The canonical text of an IP literal (brackets allowed), or an empty text for anything else.
QString canonicalLiteral(const QString& host);

}  // namespace tamarin::gateway
