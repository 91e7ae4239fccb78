#pragma once

#include <QHostAddress>
#include <QList>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "gateway/metrics.h"

namespace tamarin::gateway {

struct ConnectionLimits {
    int maxConnections = 1024;
    // Open connections of one client (an IPv4 address, or an IPv6 /64, which one host usually
    // has whole). Reverse proxies in `unlimitedClients` carry many visitors and have only the
    // overall limit.
    int maxConnectionsPerClient = 32;
    QList<QHostAddress> unlimitedClients;
    int maxRequestBytes = 8192;    // request line and headers, and again any body, of one request
    int idleTimeoutMs = 30000;     // a connection with no request under way
    int requestTimeoutMs = 10000;  // from a request's first byte to its last, and for writing
                                   // its answer: a client that does not read is cut after it
};

// Who may hold a connection: at most `maxConnections` in all and `maxConnectionsPerClient` for
// one client, so one greedy client cannot take the connections everyone else needs. The HTTP
// threads ask it on accept; a ticket holds the place until the connection closes.
class ConnectionGuard {
  public:
    using Address = std::array<std::uint8_t, 16>;  // IPv6, an IPv4 address as IPv4-mapped

    class Ticket {
      public:
        Ticket(ConnectionGuard& guard, const Address& key) : guard_(guard), key_(key) {}
        ~Ticket() { guard_.release(key_); }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

      private:
        ConnectionGuard& guard_;
        Address key_;
    };

    ConnectionGuard(const ConnectionLimits& limits, GatewayMetrics& metrics);

    // A place for a connection from `peer`, or nothing (counted as dropped) when there is none.
    std::unique_ptr<Ticket> admit(const Address& peer);
    int openConnections() const;
    const ConnectionLimits& limits() const { return limits_; }

  private:
    static Address clientKeyOf(const Address& peer);
    void release(const Address& key);

    ConnectionLimits limits_;
    GatewayMetrics& metrics_;
    std::vector<Address> unlimited_;
    mutable std::mutex mutex_;
    int open_ = 0;
    std::map<Address, int> perClient_;
};

}  // namespace tamarin::gateway
