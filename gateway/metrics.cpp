#include "gateway/metrics.h"

namespace tamarin::gateway {

namespace {

constexpr std::array kEndpointNames{"status", "banner",  "icon",    "script",
                                    "style",  "healthz", "metrics", "other"};
constexpr std::array kOutcomeNames{"online", "not_answering", "refused", "bad_address",
                                   "not_allowed"};
constexpr std::array kDroppedNames{"connection_limit", "client_limit", "oversized", "timeout",
                                   "unread",           "not_http",     "malformed"};

void family(QByteArray& out, const char* name, const char* type, const char* help) {
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void sample(QByteArray& out, const char* name, const QByteArray& labels, double value) {
    out += name;
    if (!labels.isEmpty()) {
        out += '{' + labels + '}';
    }
    out += ' ' + QByteArray::number(value, 'g', 15) + '\n';
}

}  // namespace

int GatewayMetrics::codeIndex(int httpStatus) {
    for (size_t i = 0; i < kStatusCodes.size(); ++i) {
        if (kStatusCodes[i] == httpStatus) {
            return int(i);
        }
    }
    return int(kStatusCodes.size());  // any other code
}

void GatewayMetrics::countRequest(Endpoint endpoint, int httpStatus) {
    requests_[int(endpoint)][codeIndex(httpStatus)].fetch_add(1, kRelaxed);
}

quint64 GatewayMetrics::requests(Endpoint endpoint, int httpStatus) const {
    return requests_[int(endpoint)][codeIndex(httpStatus)].load(kRelaxed);
}

void GatewayMetrics::countQueryOutcome(QueryOutcome outcome, double seconds) {
    ++outcomes_[int(outcome)];
    for (size_t i = 0; i < kLatencyBounds.size(); ++i) {
        latencyBuckets_[i] += seconds <= kLatencyBounds[i] ? 1 : 0;
    }
    ++latencyCount_;
    latencySum_ += seconds;
}

void GatewayMetrics::setGauges(int cacheEntries, int openConnections) {
    cacheEntries_ = cacheEntries;
    openConnections_ = openConnections;
}

QByteArray GatewayMetrics::render() const {
    QByteArray out;
    out.reserve(4096);
    family(out, "vireo_gateway_http_requests_total", "counter",
           "HTTP requests answered, by endpoint and status code.");
    for (size_t e = 0; e < kEndpointNames.size(); ++e) {
        for (size_t c = 0; c <= kStatusCodes.size(); ++c) {
            if (requests_[e][c] == 0) {
                continue;
            }
            const QByteArray code =
                c < kStatusCodes.size() ? QByteArray::number(kStatusCodes[c]) : "other";
            sample(out, "vireo_gateway_http_requests_total",
                   QByteArray("endpoint=\"") + kEndpointNames[e] + "\",code=\"" + code + '"',
                   double(requests_[e][c]));
        }
    }
    family(out, "vireo_gateway_cache_hits_total", "counter",
           "Status requests answered from a fresh cached status.");
    sample(out, "vireo_gateway_cache_hits_total", {}, double(cacheHits_));
    family(out, "vireo_gateway_cache_misses_total", "counter",
           "Status requests that had to wait for a query.");
    sample(out, "vireo_gateway_cache_misses_total", {}, double(cacheMisses_));
    family(out, "vireo_gateway_cache_coalesced_total", "counter",
           "Status requests that joined a query already running for the same server.");
    sample(out, "vireo_gateway_cache_coalesced_total", {}, double(coalesced_));
    family(out, "vireo_gateway_cache_entries", "gauge", "Servers whose status is cached.");
    sample(out, "vireo_gateway_cache_entries", {}, cacheEntries_);
    family(out, "vireo_gateway_rate_limited_total", "counter",
           "Requests refused with 429 by the per-client rate limit.");
    sample(out, "vireo_gateway_rate_limited_total", {}, double(rateLimited_));
    family(out, "vireo_gateway_udp_queries_total", "counter", "Status queries sent to servers.");
    sample(out, "vireo_gateway_udp_queries_total", {}, double(udpQueries_));
    family(
        out, "vireo_gateway_udp_datagrams_total", "counter",
        "Datagrams sent to servers: each request of a query, and the one resend a query may make.");
    sample(out, "vireo_gateway_udp_datagrams_total", {}, double(udpDatagrams_));
    family(out, "vireo_gateway_query_results_total", "counter", "Query outcomes.");
    for (size_t i = 0; i < kOutcomeNames.size(); ++i) {
        sample(out, "vireo_gateway_query_results_total",
               QByteArray("outcome=\"") + kOutcomeNames[i] + '"', double(outcomes_[i]));
    }
    family(out, "vireo_gateway_query_duration_seconds", "histogram",
           "Time from starting a query (name lookup included) to its outcome.");
    for (size_t i = 0; i < kLatencyBounds.size(); ++i) {
        sample(out, "vireo_gateway_query_duration_seconds_bucket",
               "le=\"" + QByteArray::number(kLatencyBounds[i]) + '"', double(latencyBuckets_[i]));
    }
    sample(out, "vireo_gateway_query_duration_seconds_bucket", "le=\"+Inf\"",
           double(latencyCount_));
    sample(out, "vireo_gateway_query_duration_seconds_sum", {}, latencySum_);
    sample(out, "vireo_gateway_query_duration_seconds_count", {}, double(latencyCount_));
    family(out, "vireo_gateway_connections_open", "gauge", "Open client connections.");
    sample(out, "vireo_gateway_connections_open", {}, openConnections_);
    family(out, "vireo_gateway_connections_dropped_total", "counter",
           "Client connections closed by the gateway's limits, by reason.");
    for (size_t i = 0; i < kDroppedNames.size(); ++i) {
        sample(out, "vireo_gateway_connections_dropped_total",
               QByteArray("reason=\"") + kDroppedNames[i] + '"', double(dropped_[i]));
    }
    return out;
}

}  // namespace tamarin::gateway
