#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSet>
#include <QString>
#include <mutex>
#include <optional>

#include "gateway/ratelimiter.h"
#include "gateway/serverkey.h"
#include "serverquery/serverstatus.h"

namespace tamarin::gateway {

// Why a request is not served as asked: one shape for every refusal, whichever rule made it.
struct Refusal {
    int httpStatus = 400;
    QString state;              // the refusal as pages read it: "bad request", "unknown game", ...
    QString reason;             // for the answer's body
    QString logText;            // what the operator's metrics and log call it
    int retryAfterSeconds = 0;  // for a client that asked too often
    ServerKey key;              // the server asked about, when the request named one
};

// What is kept of a server's answer, whatever it sent: texts cut to what a panel can show and
// at most as many rows as the largest banner, the rest counted. However large the datagrams
// were, a kept answer takes some 10 KiB with its JSON, plus its last banner (under 20 KiB when a
// page asks for the largest).
inline constexpr qsizetype kKeptNameLength = 96;
inline constexpr qsizetype kKeptMapLength = 64;
inline constexpr qsizetype kKeptPlayerNameLength = 32;
inline constexpr int kKeptRows = 64;
ServerStatus keptOf(ServerStatus status);

// What the gateway may be made to do, in one home: which servers it queries (the allow-list),
// which addresses a host name may lead it to (never into the network it runs in, unless
// listed), and how often one client may ask. The connection limits live with the listening
// socket; this decides requests.
class RelayPolicy {
  public:
    RelayPolicy(const QList<ServerKey>& allowed, QList<QHostAddress> trustedProxies,
                double ratePerSecond, int burst);

    const QSet<QString>& allowedIds() const { return allowedIds_; }
    // The client behind a request: its peer, or what a trusted proxy says it forwarded.
    QHostAddress clientOf(const QHostAddress& peer, const QByteArray& forwardedFor) const;
    // Counts the request against its client's budget; a refusal when that is spent. Any thread.
    std::optional<Refusal> admit(const QHostAddress& client, qint64 nowMs);
    // Whether the server a request names may be queried.
    std::optional<Refusal> judgeTarget(const KeyOrError& target) const;
    // Whether a host name that resolved to `address` may be queried there.
    std::optional<Refusal> judgeResolved(const ServerKey& key, const QHostAddress& address) const;

  private:
    QSet<QString> allowedIds_;
    QList<QHostAddress> trustedProxies_;
    std::mutex rateMutex_;
    RateLimiter rateLimiter_;
};

}  // namespace tamarin::gateway
