#pragma once

#include <QByteArray>
#include <array>
#include <atomic>

#include "serverquery/serverstatus.h"

namespace tamarin::gateway {

// The gateway's counters, rendered in the Prometheus text format. Requests, cache hits, rate
// limits and dropped connections are counted by the HTTP threads too, so those are atomic (a
// relaxed increment: no lock, no allocation); the rest belong to the thread the queries run on.
class GatewayMetrics {
  public:
    enum class Endpoint { Status, Banner, Icon, Script, Style, Health, Metrics, Other, Count };
    enum class QueryOutcome { Online, NotAnswering, Refused, BadAddress, NotAllowed, Count };
    enum class Dropped {
        ConnectionLimit,
        ClientLimit,
        Oversized,
        Timeout,
        Unread,
        NotHttp,
        Malformed,
        Count
    };

    void countRequest(Endpoint endpoint, int httpStatus);
    void countCacheHit() { cacheHits_.fetch_add(1, kRelaxed); }
    void countCacheMiss() { ++cacheMisses_; }
    void countCoalesced() { ++coalesced_; }
    void countRateLimited() { rateLimited_.fetch_add(1, kRelaxed); }
    void countUdpQuery() { ++udpQueries_; }
    void countUdpDatagram() { ++udpDatagrams_; }
    void countQueryOutcome(QueryOutcome outcome, double seconds);
    void countDropped(Dropped reason) { dropped_[int(reason)].fetch_add(1, kRelaxed); }
    void setGauges(int cacheEntries, int openConnections);

    quint64 requests(Endpoint endpoint, int httpStatus) const;
    quint64 udpQueries() const { return udpQueries_; }
    quint64 udpDatagrams() const { return udpDatagrams_; }
    QByteArray render() const;

  private:
    static constexpr std::array kStatusCodes{200, 304, 400, 403, 404, 405, 413, 429, 431, 500};
    static constexpr std::array kLatencyBounds{0.005, 0.01, 0.025, 0.05, 0.1,
                                               0.25,  0.5,  1.0,   2.5,  5.0};
    static int codeIndex(int httpStatus);
    static constexpr auto kRelaxed = std::memory_order_relaxed;

    std::array<std::array<std::atomic<quint64>, kStatusCodes.size() + 1>, int(Endpoint::Count)>
        requests_{};
    std::atomic<quint64> cacheHits_ = 0;
    quint64 cacheMisses_ = 0;
    quint64 coalesced_ = 0;
    std::atomic<quint64> rateLimited_ = 0;
    quint64 udpQueries_ = 0;
    quint64 udpDatagrams_ = 0;
    std::array<quint64, int(QueryOutcome::Count)> outcomes_{};
    std::array<quint64, kLatencyBounds.size()> latencyBuckets_{};
    quint64 latencyCount_ = 0;
    double latencySum_ = 0;
    std::array<std::atomic<quint64>, int(Dropped::Count)> dropped_{};
    int cacheEntries_ = 0;
    int openConnections_ = 0;
};

}  // namespace tamarin::gateway
