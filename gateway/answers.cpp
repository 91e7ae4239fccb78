#include "gateway/answers.h"

#include <QFile>
#include <algorithm>

#include "gateway/statusjson.h"

namespace tamarin::gateway {

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kStaticCacheControl = "public, max-age=300";

// How long a cache may serve an answer after it expired: one refresh period while it fetches the
// next in the background, and three while the gateway cannot be reached: enough to ride over a
// restart, never an old status for as long as it is down.
constexpr int kStaleIfErrorPeriods = 3;

QByteArray cacheControlUntil(const Snapshot& snapshot, qint64 nowMs) {
    const qint64 remainingMs = std::max<qint64>(0, snapshot.freshUntilMs - nowMs);
    const int period = snapshot.published.minRefreshSeconds;
    // Rounded up: a cache that expired the answer early would ask again before a new query may
    // run, and be told the same thing with max-age=0.
    return "public, max-age=" + QByteArray::number((remainingMs + 999) / 1000) +
           ", stale-while-revalidate=" + QByteArray::number(period) +
           ", stale-if-error=" + QByteArray::number(kStaleIfErrorPeriods * period);
}

}  // namespace

Answer refusalAnswer(const Refusal& refusal) {
    Answer answer;
    answer.status = refusal.httpStatus;
    answer.contentType = kJson;
    answer.body = errorJson(refusal.state, refusal.reason, refusal.key);
    answer.retryAfter = refusal.retryAfterSeconds;
    return answer;
}

Answer statusAnswer(const Snapshot& snapshot, qint64 nowMs) {
    return {snapshot.httpStatus, kJson, snapshot.body, snapshot.etag,
            cacheControlUntil(snapshot, nowMs)};
}

Answer bannerAnswer(Snapshot& snapshot, const BannerLayout& layout, qint64 nowMs) {
    if (snapshot.httpStatus != 200) {
        return statusAnswer(snapshot, nowMs);  // a refusal is told in JSON, as for the status
    }
    if (!snapshot.bannerLayout || snapshot.bannerLayout->details != layout.details ||
        snapshot.bannerLayout->rows != layout.rows) {
        snapshot.banner = bannerSvg(snapshot.published, layout);
        snapshot.bannerEtag = etagOf(snapshot.banner);
        snapshot.bannerLayout = layout;
    }
    return {200, "image/svg+xml", snapshot.banner, snapshot.bannerEtag,
            cacheControlUntil(snapshot, nowMs)};
}

Answer iconAnswer(const Snapshot& snapshot, qint64 nowMs) {
    if (snapshot.httpStatus != 200) {
        return statusAnswer(snapshot, nowMs);  // a refusal is told in JSON, as for the status
    }
    const ServerStatus& status = snapshot.published.status;
    if (status.state != ServerStatus::State::Online || status.icon.isEmpty()) {
        return {
            404, "text/plain; charset=utf-8", "no icon", {}, cacheControlUntil(snapshot, nowMs)};
    }
    return {200, "image/png", status.icon, etagOf(status.icon), cacheControlUntil(snapshot, nowMs)};
}

Answer resourceAnswer(const QString& resource, const QByteArray& contentType) {
    QFile file(resource);
    Answer answer;
    answer.contentType = contentType;
    answer.body = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    answer.etag = etagOf(answer.body);
    answer.cacheControl = kStaticCacheControl;
    return answer;
}

Answer healthAnswer() {
    return {200, "text/plain; charset=utf-8", "ok", {}};
}

Answer metricsAnswer(const GatewayMetrics& metrics) {
    return {200, "text/plain; version=0.0.4; charset=utf-8", metrics.render(), {}};
}

}  // namespace tamarin::gateway
