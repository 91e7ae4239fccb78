#include "gateway/ratelimiter.h"

#include <algorithm>
#include <cmath>

namespace tamarin::gateway {

namespace {

// Clients remembered at most; past it, clients whose buckets are full again are forgotten (they
// would start full anyway), so a flood of addresses costs bounded memory.
constexpr qsizetype kMaxClients = 100000;

}  // namespace

RateLimiter::RateLimiter(double perSecond, int burst)
    : perSecond_(perSecond), burst_(std::max(1, burst)) {}

RateLimiter::ClientKey RateLimiter::keyOf(const QHostAddress& client) {
    bool isIpv4 = false;
    const quint32 ipv4 = client.toIPv4Address(&isIpv4);
    if (isIpv4) {
        return {0, ipv4};
    }
    const Q_IPV6ADDR a = client.toIPv6Address();
    quint64 prefix = 0;
    for (int i = 0; i < 8; ++i) {
        prefix = prefix << 8 | a[i];
    }
    return {prefix, quint64(1) << 32};
}

int RateLimiter::admit(const QHostAddress& client, qint64 nowMs) {
    if (perSecond_ <= 0) {
        return 0;  // no limit
    }
    if (buckets_.size() >= kMaxClients) {
        forgetIdleClients(nowMs);
    }
    const ClientKey key = keyOf(client);
    auto it = buckets_.find(key);
    if (it == buckets_.end()) {
        it = buckets_.insert(key, Bucket{burst_, nowMs});
    }
    Bucket& bucket = *it;
    const double elapsed = std::max<qint64>(0, nowMs - bucket.updatedMs) / 1000.0;
    bucket.tokens = std::min(burst_, bucket.tokens + elapsed * perSecond_);
    bucket.updatedMs = nowMs;
    if (bucket.tokens >= 1) {
        bucket.tokens -= 1;
        return 0;
    }
    return std::max(1, int(std::ceil((1 - bucket.tokens) / perSecond_)));
}

void RateLimiter::forgetIdleClients(qint64 nowMs) {
    const double refillMs = burst_ / perSecond_ * 1000;
    buckets_.removeIf(
        [&](const auto& entry) { return nowMs - entry.value().updatedMs >= refillMs; });
    if (buckets_.size() >= kMaxClients) {
        buckets_.clear();  // an attack from everywhere at once: start everyone afresh
    }
}

}  // namespace tamarin::gateway
