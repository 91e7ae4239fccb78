#pragma once

#include <QHash>
#include <QHostAddress>
#include <utility>

namespace tamarin::gateway {

// A token bucket per client: `burst` requests at once, refilled at `perSecond`. IPv6 clients are
// counted by their /64, since one host usually holds a whole /64 and could rotate through it.
class RateLimiter {
  public:
    RateLimiter(double perSecond, int burst);

    // 0 when the request may go ahead (and is counted), else the whole seconds until it may.
    int admit(const QHostAddress& client, qint64 nowMs);

  private:
    struct Bucket {
        double tokens = 0;
        qint64 updatedMs = 0;
    };
    using ClientKey = std::pair<quint64, quint64>;
    static ClientKey keyOf(const QHostAddress& client);
    void forgetIdleClients(qint64 nowMs);

    double perSecond_;
    double burst_;
    QHash<ClientKey, Bucket> buckets_;
};

}  // namespace tamarin::gateway
