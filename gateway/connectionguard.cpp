#include "gateway/connectionguard.h"

#include <algorithm>
#include <cstring>

namespace tamarin::gateway {

namespace {

ConnectionGuard::Address addressOf(const QHostAddress& address) {
    ConnectionGuard::Address bytes{};
    const Q_IPV6ADDR ipv6 = address.toIPv6Address();  // IPv4 comes back IPv4-mapped
    std::memcpy(bytes.data(), ipv6.c, bytes.size());
    return bytes;
}

bool isIpv4Mapped(const ConnectionGuard::Address& a) {
    static constexpr std::uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(a.data(), kPrefix, sizeof kPrefix) == 0;
}

}  // namespace

ConnectionGuard::ConnectionGuard(const ConnectionLimits& limits, GatewayMetrics& metrics)
    : limits_(limits), metrics_(metrics) {
    for (const QHostAddress& address : limits_.unlimitedClients) {
        unlimited_.push_back(addressOf(address));
    }
}

// An IPv4 client by its address, an IPv6 one by its /64.
ConnectionGuard::Address ConnectionGuard::clientKeyOf(const Address& peer) {
    Address key = peer;
    if (!isIpv4Mapped(peer)) {
        std::fill(key.begin() + 8, key.end(), 0);
    }
    return key;
}

std::unique_ptr<ConnectionGuard::Ticket> ConnectionGuard::admit(const Address& peer) {
    const bool unlimited =
        std::find(unlimited_.begin(), unlimited_.end(), peer) != unlimited_.end();
    const Address key = unlimited ? Address{} : clientKeyOf(peer);
    const std::lock_guard lock(mutex_);
    if (open_ >= limits_.maxConnections) {
        metrics_.countDropped(GatewayMetrics::Dropped::ConnectionLimit);
        return nullptr;
    }
    if (!unlimited) {
        int& count = perClient_[key];
        if (count >= limits_.maxConnectionsPerClient) {
            metrics_.countDropped(GatewayMetrics::Dropped::ClientLimit);
            return nullptr;
        }
        ++count;
    }
    ++open_;
    return std::make_unique<Ticket>(*this, unlimited ? Address{} : key);
}

void ConnectionGuard::release(const Address& key) {
    const std::lock_guard lock(mutex_);
    --open_;
    if (const auto it = perClient_.find(key); it != perClient_.end() && --it->second <= 0) {
        perClient_.erase(it);
    }
}

int ConnectionGuard::openConnections() const {
    const std::lock_guard lock(mutex_);
    return open_;
}

}  // namespace tamarin::gateway
