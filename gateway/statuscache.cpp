#include "gateway/statuscache.h"

#include <QHostAddress>
#include <QTimer>

#include "serverquery/queryconversation.h"

namespace tamarin::gateway {

using Outcome = GatewayMetrics::QueryOutcome;
using Lookup = QFutureWatcher<std::optional<Endpoint>>;

struct StatusCache::Entry {
    ServerKey key;
    QString id;
    std::unique_ptr<ServerQuery> query;
    std::unique_ptr<Lookup> lookup;
    bool running = false;
    qint64 startedMs = 0;
    qint64 lastUsedMs = 0;
    std::optional<Snapshot> snapshot;
    // The last answer from a server online, kept through one failed query.
    std::optional<PublishedStatus> lastGood;
    quint16 queriedPort = 0;  // the port the current query asks on
};

namespace {

Outcome outcomeOf(ServerStatus::State state) {
    switch (state) {
        case ServerStatus::State::Online:
            return Outcome::Online;
        case ServerStatus::State::Refused:
            return Outcome::Refused;
        case ServerStatus::State::BadAddress:
            return Outcome::BadAddress;
        default:
            return Outcome::NotAnswering;
    }
}

// The port a server answers queries on follows from its game's table and the port the page names,
// and from nothing else: an allow-list entry opens exactly one query target.
quint16 queryPortOf(const ServerKey& key) {
    return queryPortForGame(key.game, key.port);
}

ServerStatus withState(ServerStatus::State state) {
    ServerStatus status;
    status.state = state;
    return status;
}

}  // namespace

StatusCache::StatusCache(const CacheSettings& settings, const RelayPolicy& policy,
                         GatewayMetrics& metrics, QObject* parent)
    : QObject(parent), settings_(settings), policy_(policy), metrics_(metrics) {
    clock_.start();
}

StatusCache::~StatusCache() = default;

Snapshot* StatusCache::fresh(const ServerKey& key, const QString& id) {
    Entry& entry = entryFor(key, id);
    entry.lastUsedMs = nowMs();
    if (entry.snapshot && nowMs() < entry.snapshot->freshUntilMs) {
        metrics_.countCacheHit();
        return &*entry.snapshot;
    }
    metrics_.countCacheMiss();
    if (entry.running) {
        metrics_.countCoalesced();
    } else {
        startQueryWhenDue(entry);
    }
    return nullptr;
}

// A server whose entry was evicted and asked for again within its minimum refresh is queried
// when that has passed; pages asking meanwhile wait for that query, as for any running one.
void StatusCache::startQueryWhenDue(Entry& entry) {
    const auto last = lastQueryMs_.constFind(entry.id);
    const qint64 dueMs =
        last == lastQueryMs_.constEnd() ? 0 : *last + qint64(settings_.minRefreshSeconds) * 1000;
    if (nowMs() >= dueMs) {
        startQuery(entry);
        return;
    }
    entry.running = true;  // a running entry is never evicted, so the reference below stays good
    QTimer::singleShot(dueMs - nowMs(), this, [this, &entry] { startQuery(entry); });
}

Snapshot* StatusCache::latest(const QString& id) {
    const auto it = entries_.constFind(id);
    return it != entries_.constEnd() && (*it)->snapshot ? &*(*it)->snapshot : nullptr;
}

StatusCache::Entry& StatusCache::entryFor(const ServerKey& key, const QString& id) {
    const auto it = entries_.constFind(id);
    if (it != entries_.constEnd()) {
        return **it;
    }
    if (entries_.size() >= settings_.capacity) {
        evictOne();
    }
    auto entry = std::make_shared<Entry>();
    entry->key = key;
    entry->id = id;
    return **entries_.insert(id, std::move(entry));
}

// The server asked about longest ago goes, unless its query runs: pages are waiting on it.
void StatusCache::evictOne() {
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!(*it)->running &&
            (oldest == entries_.end() || (*it)->lastUsedMs < (*oldest)->lastUsedMs)) {
            oldest = it;
        }
    }
    if (oldest != entries_.end()) {
        entries_.erase(oldest);
    }
}

void StatusCache::startQuery(Entry& entry) {
    entry.running = true;
    entry.startedMs = nowMs();
    if (lastQueryMs_.size() >= 2 * settings_.capacity) {
        forgetOldQueryTimes();
    }
    lastQueryMs_.insert(entry.id, entry.startedMs);
    if (entry.key.hostIsLiteral()) {
        queryAt(entry, entry.key.host, queryPortOf(entry.key));
        return;
    }
    entry.lookup = std::make_unique<Lookup>();
    connect(entry.lookup.get(), &Lookup::finished, this, [this, &entry] { onLookedUp(entry); });
    // A name server that does not answer must not keep pages waiting for it as long as for a game
    // server: it gets two thirds of the query's time; the lookup itself runs on and is forgotten.
    Lookup* lookup = entry.lookup.get();
    QTimer::singleShot(std::max(1, settings_.queryTimeoutMs * 2 / 3), lookup,
                       [this, &entry, lookup] {
                           if (entry.lookup.get() != lookup) {
                               return;  // it answered in time and waits to be deleted
                           }
                           entry.lookup->disconnect(this);
                           entry.lookup.release()->deleteLater();
                           onFinished(entry, withState(ServerStatus::State::NotAnswering));
                       });
    const QueryProtocol protocol = protocolForGameType(entry.key.game);
    entry.lookup->setFuture(lookUpEndpoint(entry.key.host, queryPortOf(entry.key),
                                           serviceRecordFor(protocol, entry.key.port)));
}

// Only the servers queried within the last minimum refresh need their time: the rest may be
// queried at once anyway. That bounds the table by the servers one interval's requests reach.
void StatusCache::forgetOldQueryTimes() {
    const qint64 dueBefore = nowMs() - qint64(settings_.minRefreshSeconds) * 1000;
    lastQueryMs_.removeIf([dueBefore](const auto& it) { return it.value() <= dueBefore; });
}

void StatusCache::onLookedUp(Entry& entry) {
    const QFuture<std::optional<Endpoint>> future = entry.lookup->future();
    entry.lookup.release()->deleteLater();  // it is emitting the signal that brought us here
    if (future.resultCount() == 0) {
        onFinished(entry, withState(ServerStatus::State::NotAnswering));  // no lookup to be had
        return;
    }
    const std::optional<Endpoint> found = future.result();
    if (!found) {
        ServerStatus status = withState(ServerStatus::State::BadAddress);
        status.failure = ServerStatus::Failure::HostNotFound;
        onFinished(entry, status);
        return;
    }
    const QHostAddress address(reinterpret_cast<const sockaddr*>(&found->address));
    if (const std::optional<Refusal> refusal = policy_.judgeResolved(entry.key, address)) {
        metrics_.countQueryOutcome(Outcome::NotAllowed, (nowMs() - entry.startedMs) / 1000.0);
        PublishedStatus published{entry.key, withState(ServerStatus::State::BadAddress),
                                  QDateTime::currentDateTimeUtc(), false,
                                  settings_.minRefreshSeconds};
        publish(entry, published, refusal);
        return;
    }
    // A service record may name another port than the one asked for.
    queryAt(entry, address.toString(), endpointPort(*found));
}

void StatusCache::queryAt(Entry& entry, const QString& address, quint16 port) {
    if (!entry.query) {
        entry.query = std::make_unique<ServerQuery>();
        entry.query->setTimeoutMs(settings_.queryTimeoutMs);
        connect(entry.query.get(), &ServerQuery::finished, this,
                [this, &entry](const ServerStatus& status) { onFinished(entry, status); });
        connect(entry.query.get(), &ServerQuery::datagramSent, this,
                [this] { metrics_.countUdpDatagram(); });
    }
    metrics_.countUdpQuery();
    entry.queriedPort = port;
    entry.query->start(address, port, protocolForGameType(entry.key.game), entry.key.host);
}

void StatusCache::onFinished(Entry& entry, const ServerStatus& status) {
    metrics_.countQueryOutcome(outcomeOf(status.state), (nowMs() - entry.startedMs) / 1000.0);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    PublishedStatus published{
        entry.key, keptOf(status), now, false, settings_.minRefreshSeconds, entry.queriedPort};
    if (status.state == ServerStatus::State::Online) {
        entry.lastGood = published;
    } else if (entry.lastGood && entry.snapshot && !entry.snapshot->published.stale &&
               entry.snapshot->httpStatus == 200 &&
               entry.snapshot->published.status.state == ServerStatus::State::Online) {
        // One failed query does not take a server off the page: the last good status stays
        // for one more interval, marked stale.
        published = *entry.lastGood;
        published.stale = true;
    }
    publish(entry, published);
}

void StatusCache::publish(Entry& entry, const PublishedStatus& published,
                          const std::optional<Refusal>& refusal) {
    Snapshot snapshot;
    snapshot.httpStatus = refusal ? refusal->httpStatus : 200;
    snapshot.published = published;
    snapshot.body =
        refusal ? errorJson(refusal->state, refusal->reason, refusal->key) : statusJson(published);
    snapshot.etag = etagOf(snapshot.body);
    snapshot.freshUntilMs = nowMs() + qint64(settings_.minRefreshSeconds) * 1000;
    entry.snapshot = std::move(snapshot);
    entry.running = false;
    emit answered(entry.id);
}

}  // namespace tamarin::gateway
