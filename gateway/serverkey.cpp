#include "gateway/serverkey.h"

#include <QHostAddress>
#include <QUrl>

#include "serverquery/gametypes.h"

namespace tamarin::gateway {

namespace {

constexpr qsizetype kMaxHostLength = 253;

KeyError badRequest(const QString& message) {
    return {KeyError::Kind::BadRequest, message};
}

QString withoutBrackets(const QString& host) {
    if (host.size() >= 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        return host.mid(1, host.size() - 2);
    }
    return host;
}

bool isHostNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.') ||
           c == QLatin1Char('_');
}

// A lower-case host name fit for the resolver, or an empty text.
QString canonicalName(const QString& host) {
    QString name = host.toLower();
    if (name.endsWith(QLatin1Char('.'))) {
        name.chop(1);
    }
    if (name.isEmpty() || name.size() > kMaxHostLength || name.startsWith(QLatin1Char('.')) ||
        name.contains(QLatin1String("..")) ||
        !std::all_of(name.begin(), name.end(), isHostNameChar) || QUrl::toAce(name).isEmpty()) {
        return {};
    }
    return name;
}

std::optional<quint16> portFromText(const QString& text) {
    if (text.isEmpty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.isDigit() && c.unicode() < 0x80;
        })) {
        return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return quint16(port);
}

}  // namespace

QString ServerKey::id() const {
    return game + QLatin1Char('|') + host + QLatin1Char('|') + QString::number(port);
}

bool ServerKey::hostIsLiteral() const {
    return !canonicalLiteral(host).isEmpty();
}

QString canonicalLiteral(const QString& host) {
    const QString bare = withoutBrackets(host.trimmed());
    QHostAddress address;
    // Only dotted quads and IPv6 texts: "1.2" or "0x7f.1" would be numbers only some parsers
    // read as addresses.
    if (bare.count(QLatin1Char('.')) != 3 && !bare.contains(QLatin1Char(':'))) {
        return {};
    }
    if (bare.contains(QLatin1Char('%')) || !address.setAddress(bare)) {
        return {};
    }
    return address.toString();
}

KeyOrError serverKeyFromParts(const QString& game, const QString& host, const QString& port) {
    if (game.trimmed().isEmpty()) {
        return badRequest(QStringLiteral("the game parameter is missing"));
    }
    if (protocolForGameType(game) == QueryProtocol::None) {
        return KeyError{KeyError::Kind::UnknownGame,
                        QStringLiteral("the gateway does not know that game type")};
    }
    ServerKey key;
    // An alias names the same game, so both reach one cache entry and one allow-list entry.
    key.game = canonicalGameCode(game);
    key.host = canonicalLiteral(host);
    if (key.host.isEmpty()) {
        key.host = canonicalName(withoutBrackets(host.trimmed()));
    }
    if (key.host.isEmpty()) {
        return badRequest(QStringLiteral("the host must be a host name or an IP address"));
    }
    const std::optional<quint16> number = portFromText(port.trimmed());
    if (!number) {
        return badRequest(QStringLiteral("the port must be a whole number from 1 to 65535"));
    }
    key.port = *number;
    return key;
}

KeyOrError serverKeyFromText(const QString& entry) {
    const qsizetype firstColon = entry.indexOf(QLatin1Char(':'));
    const qsizetype lastColon = entry.lastIndexOf(QLatin1Char(':'));
    if (firstColon < 0 || lastColon == firstColon) {
        return badRequest(QStringLiteral("\"%1\" is not GAME:HOST:PORT").arg(entry));
    }
    return serverKeyFromParts(entry.left(firstColon),
                              entry.mid(firstColon + 1, lastColon - firstColon - 1),
                              entry.mid(lastColon + 1));
}

}  // namespace tamarin::gateway
