#include "gateway/relaypolicy.h"

#include "gateway/addresspolicy.h"
#include "serverquery/servertext.h"

namespace tamarin::gateway {

ServerStatus keptOf(ServerStatus status) {
    status.name = cutText(status.name, kKeptNameLength);
    status.map = cutText(status.map, kKeptMapLength);
    if (status.rows.size() > kKeptRows) {
        status.rowsLeftOut += int(status.rows.size()) - kKeptRows;
        status.rows.resize(kKeptRows);
    }
    for (PlayerRow& row : status.rows) {
        row.name = cutText(row.name, kKeptPlayerNameLength);
    }
    return status;
}

namespace {

QSet<QString> idsOf(const QList<ServerKey>& keys) {
    QSet<QString> ids;
    for (const ServerKey& key : keys) {
        ids.insert(key.id());
    }
    return ids;
}

Refusal notAllowed(const ServerKey& key, const QString& reason, const QString& logText) {
    return {403, QStringLiteral("not allowed"), reason, logText, 0, key};
}

}  // namespace

RelayPolicy::RelayPolicy(const QList<ServerKey>& allowed, QList<QHostAddress> trustedProxies,
                         double ratePerSecond, int burst)
    : allowedIds_(idsOf(allowed)),
      trustedProxies_(std::move(trustedProxies)),
      rateLimiter_(ratePerSecond, burst) {}

QHostAddress RelayPolicy::clientOf(const QHostAddress& peer, const QByteArray& forwardedFor) const {
    if (!trustedProxies_.contains(peer)) {
        return peer;
    }
    // The proxy appends the address it saw; anything before it the client could have made up.
    const QHostAddress client(
        QString::fromLatin1(forwardedFor.mid(forwardedFor.lastIndexOf(',') + 1).trimmed()));
    return client.isNull() ? peer : client;
}

std::optional<Refusal> RelayPolicy::admit(const QHostAddress& client, qint64 nowMs) {
    const int wait = [&] {
        const std::lock_guard lock(rateMutex_);
        return rateLimiter_.admit(client, nowMs);
    }();
    if (wait == 0) {
        return std::nullopt;
    }
    return Refusal{429,
                   QStringLiteral("busy"),
                   QStringLiteral("too many requests"),
                   QStringLiteral("rate limited"),
                   wait,
                   {}};
}

std::optional<Refusal> RelayPolicy::judgeTarget(const KeyOrError& target) const {
    if (const auto* problem = std::get_if<KeyError>(&target)) {
        const bool unknownGame = problem->kind == KeyError::Kind::UnknownGame;
        return Refusal{400,
                       unknownGame ? QStringLiteral("unknown game") : QStringLiteral("bad request"),
                       problem->message,
                       QStringLiteral("bad request"),
                       0,
                       {}};
    }
    const ServerKey& key = std::get<ServerKey>(target);
    if (!allowedIds_.contains(key.id())) {
        return notAllowed(key, QStringLiteral("the gateway does not query that server"),
                          QStringLiteral("not on the allow-list"));
    }
    return std::nullopt;
}

std::optional<Refusal> RelayPolicy::judgeResolved(const ServerKey& key,
                                                  const QHostAddress& address) const {
    ServerKey asLiteral = key;
    asLiteral.host = address.toString();
    if (isPublicAddress(address) || allowedIds_.contains(asLiteral.id())) {
        return std::nullopt;
    }
    return notAllowed(key, QStringLiteral("the server's address may not be queried"),
                      QStringLiteral("resolved to a private address"));
}

}  // namespace tamarin::gateway
