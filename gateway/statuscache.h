#pragma once

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <memory>
#include <optional>

#include "gateway/metrics.h"
#include "gateway/relaypolicy.h"
#include "gateway/statusjson.h"
#include "gateway/svgbanner.h"
#include "serverquery/hostlookup.h"
#include "serverquery/serverquery.h"

namespace tamarin::gateway {

struct CacheSettings {
    int minRefreshSeconds = 5;
    int capacity = 1024;
    int queryTimeoutMs = 1500;
};

// What the gateway answers about one server until the next query: the body is serialised once
// per query, so answering a page costs a lookup and a copy of shared bytes.
struct Snapshot {
    int httpStatus = 200;  // a refusal's when a host name led to an address not allowed
    QByteArray body;
    QByteArray etag;
    PublishedStatus published;
    qint64 freshUntilMs = 0;  // on the cache's clock
    // The last banner drawn from this status, kept for the next page that asks the same.
    std::optional<BannerLayout> bannerLayout;
    QByteArray banner;
    QByteArray bannerEtag;
};

// The statuses of the allow-listed servers pages asked about. Each server is queried at most
// once per minimum refresh; a page asking meanwhile gets the snapshot, a page asking while its
// query runs waits for that one query. A host name is looked up by the gateway itself and the
// server queried at the address found, after checking that address may be queried.
class StatusCache : public QObject {
    Q_OBJECT

  public:
    StatusCache(const CacheSettings& settings, const RelayPolicy& policy, GatewayMetrics& metrics,
                QObject* parent = nullptr);
    ~StatusCache() override;

    // The fresh snapshot of an allowed server, or nothing: then a query for it runs (started
    // now unless one already did) and `answered` follows with the key's id.
    Snapshot* fresh(const ServerKey& key, const QString& id);
    // The latest snapshot, fresh or not; nothing for a server never answered.
    Snapshot* latest(const QString& id);
    qint64 nowMs() const { return clock_.elapsed(); }
    int size() const { return int(entries_.size()); }
    int minRefreshSeconds() const { return settings_.minRefreshSeconds; }
    int capacity() const { return settings_.capacity; }

  signals:
    void answered(const QString& id);

  private:
    struct Entry;
    Entry& entryFor(const ServerKey& key, const QString& id);
    void evictOne();
    void startQueryWhenDue(Entry& entry);
    void startQuery(Entry& entry);
    void forgetOldQueryTimes();
    void onLookedUp(Entry& entry);
    void queryAt(Entry& entry, const QString& address, quint16 port);
    void onFinished(Entry& entry, const ServerStatus& status);
    void publish(Entry& entry, const PublishedStatus& published,
                 const std::optional<Refusal>& refusal = std::nullopt);

    CacheSettings settings_;
    const RelayPolicy& policy_;
    GatewayMetrics& metrics_;
    QElapsedTimer clock_;
    QHash<QString, std::shared_ptr<Entry>> entries_;
    // When each server was last queried, kept apart from the entries: a server whose entry was
    // evicted is still queried at most once per minimum refresh, whatever the cache's size.
    QHash<QString, qint64> lastQueryMs_;
};

}  // namespace tamarin::gateway
