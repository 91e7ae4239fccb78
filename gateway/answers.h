#pragma once

#include <QByteArray>
#include <QString>

#include "gateway/metrics.h"
#include "gateway/relaypolicy.h"
#include "gateway/statuscache.h"
#include "gateway/svgbanner.h"

namespace tamarin::gateway {

// What the gateway answers, before any HTTP is written: the status code, the body and the
// headers that describe it. The server adds what depends on the request (304, CORS, closing).
struct Answer {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QByteArray etag;
    QByteArray cacheControl = "no-store";
    int retryAfter = 0;
};

// A refusal as a page reads it: a JSON body with the refusal's words, never kept by caches.
Answer refusalAnswer(const Refusal& refusal);
// A server's latest status as /status.json, or as /banner.svg drawn for `layout` (the drawing is
// kept in the snapshot for the next page that asks the same), cacheable until it goes stale.
Answer statusAnswer(const Snapshot& snapshot, qint64 nowMs);
Answer bannerAnswer(Snapshot& snapshot, const BannerLayout& layout, qint64 nowMs);
// The server's picture as a PNG of its own; 404 when it shows none.
Answer iconAnswer(const Snapshot& snapshot, qint64 nowMs);
// A file compiled into the gateway (the web panel's script and stylesheet).
Answer resourceAnswer(const QString& resource, const QByteArray& contentType);
Answer healthAnswer();
Answer metricsAnswer(const GatewayMetrics& metrics);

}  // namespace tamarin::gateway
