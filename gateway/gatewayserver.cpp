#include "gateway/gatewayserver.h"

#include <sched.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>
#include <QUrl>
#include <QUrlQuery>
#include <boost/beast/http/status.hpp>

// Resources of a static library are registered by hand: nothing else references them. Outside
// any namespace, as the resource's own registration function is.
static void registerWebResources() {
    Q_INIT_RESOURCE(web);
}

namespace tamarin::gateway {

namespace {

constexpr qsizetype kMaxRememberedTargets = 4096;

GatewayMetrics::Endpoint endpointOf(const QByteArray& rawPath) {
    using E = GatewayMetrics::Endpoint;
    static const QHash<QByteArray, E> endpoints{
        {"/status.json", E::Status}, {"/banner.svg", E::Banner}, {"/icon.png", E::Icon},
        {"/vireo.js", E::Script},    {"/vireo.css", E::Style},   {"/healthz", E::Health},
        {"/metrics", E::Metrics},
    };
    const QByteArray path =
        rawPath.contains('%') ? QByteArray::fromPercentEncoding(rawPath) : rawPath;
    return endpoints.value(path, E::Other);
}

QByteArray statusLine(int status) {
    const auto reason =
        boost::beast::http::obsolete_reason(boost::beast::http::int_to_status(unsigned(status)));
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' +
           QByteArray(reason.data(), qsizetype(reason.size())) + "\r\n";
}

// The Date header, made once a second rather than once an answer, by each thread for itself.
QByteArray dateHeader() {
    thread_local qint64 madeAt = -1;
    thread_local QByteArray header;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != madeAt) {
        madeAt = now;
        header = "Date: " +
                 QDateTime::fromSecsSinceEpoch(now, QTimeZone::utc())
                     .toString(QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
                     .toLatin1() +
                 "\r\n";
    }
    return header;
}

// A thread per core this process may run on (an operator's taskset or CPU quota included).
int httpThreads() {
    cpu_set_t cpus;
    const int usable = sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 1;
    return std::clamp(usable, 1, 8);
}

// Any of the listed tags matches, weak or strong (a GET may compare weakly), and so does "*".
bool etagMatches(const QByteArray& ifNoneMatch, const QByteArray& etag) {
    if (ifNoneMatch.isEmpty() || etag.isEmpty()) {
        return false;
    }
    return ifNoneMatch.trimmed() == "*" || ifNoneMatch.contains(etag);
}

std::optional<int> smallNumber(const QString& text, int highest) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0 || text.size() > 6 || !text.front().isDigit()) {
        return std::nullopt;
    }
    return std::min(n, highest);
}

std::optional<BannerLayout> bannerLayoutOf(const QUrlQuery& query) {
    BannerLayout layout;
    const QString details = query.queryItemValue(QStringLiteral("details"));
    if (!details.isEmpty() && details != QLatin1String("0") && details != QLatin1String("1")) {
        return std::nullopt;
    }
    layout.details = details == QLatin1String("1");
    layout.rows = kDefaultBannerRows;
    if (query.hasQueryItem(QStringLiteral("rows"))) {
        const auto rows = smallNumber(query.queryItemValue(QStringLiteral("rows")), kMaxBannerRows);
        if (!rows) {
            return std::nullopt;
        }
        layout.rows = *rows;
    }
    return layout;
}

}  // namespace

GatewayServer::GatewayServer(const GatewayOptions& options, QObject* parent)
    : QObject(parent),
      options_(options),
      policy_(options.allow, options.trustedProxies, options.ratePerSecond, options.burst),
      guard_(options.limits, metrics_),
      cache_(new StatusCache(options.cache, policy_, metrics_, this)) {
    registerWebResources();
    script_ =
        resourceAnswer(QStringLiteral(":/web/vireo.js"), "application/javascript; charset=utf-8");
    style_ = resourceAnswer(QStringLiteral(":/web/vireo.css"), "text/css; charset=utf-8");
    health_ = healthAnswer();
    connect(cache_, &StatusCache::answered, this, &GatewayServer::onAnswered);
    // Requests arrive on the HTTP threads and are answered here, where the cache lives.
    listener_ = std::make_unique<HttpListener>(
        guard_, metrics_, cannedAnswers(), [this](HttpRequest request, HttpReply reply) {
            if (answerAtOnce(request, reply)) {
                return;
            }
            QMetaObject::invokeMethod(
                this,
                [this, request = std::move(request), reply = std::move(reply)] {
                    handle(request, reply);
                },
                Qt::QueuedConnection);
        });
}

GatewayServer::~GatewayServer() {
    // No request arrives any more; those on their way and those still waiting are dropped
    // while the connections they would answer, and the metrics they count into, still exist.
    listener_->stop();
    QCoreApplication::removePostedEvents(this);
    waiting_.clear();
    delete cache_;
    listener_.reset();
}

std::variant<quint16, QString> GatewayServer::start() {
    // Room for a burst of connections arriving together, so none waits on a SYN retry.
    const int backlog = std::clamp(options_.limits.maxConnections, 128, 4096);
    auto listening =
        listener_->listen(options_.listenAddress, options_.listenPort, backlog, httpThreads());
    if (const auto* why = std::get_if<QString>(&listening)) {
        return QStringLiteral("cannot listen on %1 port %2: %3")
            .arg(options_.listenAddress.toString())
            .arg(options_.listenPort)
            .arg(*why);
    }
    return listening;
}

CannedAnswers GatewayServer::cannedAnswers() const {
    const auto canned = [this](int status, const char* reason) {
        Asked asked;
        asked.closeAfter = true;
        const Refusal refusal{
            status, QStringLiteral("bad request"), QString::fromLatin1(reason), {}, 0, {}};
        return render(asked, refusalAnswer(refusal), status);
    };
    return {canned(400, "the request cannot be read unambiguously"),
            canned(431, "the request's headers are too large"),
            canned(413, "the request's body is too large")};
}

GatewayServer::Asked GatewayServer::askedOf(const HttpRequest& request) {
    Asked asked;
    asked.endpoint = endpointOf(request.path);
    asked.origin = request.origin;
    asked.ifNoneMatch = request.ifNoneMatch;
    asked.closeAfter = !request.keepAlive;
    asked.sayKeepAlive = request.http10 && request.keepAlive;
    return asked;
}

// On an HTTP thread: what needs neither the cache's thread nor a query (the compiled-in files,
// the health check, a fresh status) is answered here. False: the cache's thread must answer.
bool GatewayServer::answerAtOnce(const HttpRequest& request, const HttpReply& reply) {
    if (!request.isGet) {
        return false;
    }
    Asked asked = askedOf(request);
    const Answer* fixed = asked.endpoint == Endpoint::Script   ? &script_
                          : asked.endpoint == Endpoint::Style  ? &style_
                          : asked.endpoint == Endpoint::Health ? &health_
                                                               : nullptr;
    std::shared_ptr<const Snapshot> status;
    if (asked.endpoint == Endpoint::Status) {
        status = readyStatus(request.query);
    }
    if (!fixed && !status) {
        return false;
    }
    if (asked.endpoint != Endpoint::Health) {
        const QHostAddress client = policy_.clientOf(request.peer, request.forwardedFor);
        if (const auto refusal = policy_.admit(client, cache_->nowMs())) {
            metrics_.countRateLimited();
            refuse(asked, reply, *refusal);
            return true;
        }
    }
    if (status) {
        metrics_.countCacheHit();
        respond(asked, reply, statusAnswer(*status, cache_->nowMs()));
    } else {
        respond(asked, reply, *fixed);
    }
    return true;
}

std::shared_ptr<const Snapshot> GatewayServer::readyStatus(const QByteArray& rawQuery) const {
    const std::shared_lock lock(readyMutex_);
    const auto id = ready_.ids.constFind(rawQuery);
    if (id == ready_.ids.constEnd()) {
        return nullptr;
    }
    const auto status = ready_.statuses.constFind(*id);
    if (status == ready_.statuses.constEnd() || (*status)->freshUntilMs <= cache_->nowMs()) {
        return nullptr;
    }
    return *status;
}

// Makes a status the HTTP threads may answer from until it goes stale, and the query string
// a page asked it with.
void GatewayServer::publishReady(const QByteArray& rawQuery, const QString& id,
                                 const Snapshot* snapshot) {
    if (snapshot && snapshot->httpStatus != 200) {
        snapshot = nullptr;  // a refusal is decided afresh each time
    }
    {
        const std::shared_lock lock(readyMutex_);
        const auto known = ready_.statuses.constFind(id);
        const bool current = snapshot ? known != ready_.statuses.constEnd() &&
                                            (*known)->freshUntilMs == snapshot->freshUntilMs
                                      : true;
        if (current && (rawQuery.isEmpty() || ready_.ids.contains(rawQuery))) {
            return;
        }
    }
    const std::unique_lock lock(readyMutex_);
    if (!rawQuery.isEmpty()) {
        if (ready_.ids.size() >= kMaxRememberedTargets) {
            ready_.ids.clear();
        }
        ready_.ids.insert(rawQuery, id);
    }
    if (snapshot) {
        if (ready_.statuses.size() >= cache_->capacity()) {
            ready_.statuses.clear();
        }
        ready_.statuses.insert(id, std::make_shared<const Snapshot>(*snapshot));
    }
}

void GatewayServer::handle(const HttpRequest& request, const HttpReply& reply) {
    Asked asked = askedOf(request);
    route(request, asked, reply);
}

void GatewayServer::route(const HttpRequest& request, Asked& asked, const HttpReply& reply) {
    if (!request.isGet) {
        refuse(
            asked, reply,
            {405, QStringLiteral("bad request"), QStringLiteral("only GET is served"), {}, 0, {}});
        return;
    }
    const bool limited = asked.endpoint != Endpoint::Health && asked.endpoint != Endpoint::Metrics;
    const QHostAddress client = policy_.clientOf(request.peer, request.forwardedFor);
    if (const auto refusal = limited ? policy_.admit(client, cache_->nowMs()) : std::nullopt) {
        metrics_.countRateLimited();
        refuse(asked, reply, *refusal);
        return;
    }
    switch (asked.endpoint) {
        case Endpoint::Status:
        case Endpoint::Banner:
        case Endpoint::Icon:
            answerServer(request, asked, reply);
            return;
        case Endpoint::Script:
            respond(asked, reply, script_);
            return;
        case Endpoint::Style:
            respond(asked, reply, style_);
            return;
        case Endpoint::Health:
            respond(asked, reply, healthAnswer());
            return;
        case Endpoint::Metrics:
            metrics_.setGauges(cache_->size(), guard_.openConnections());
            respond(asked, reply, metricsAnswer(metrics_));
            return;
        default:
            refuse(asked, reply,
                   {404, QStringLiteral("bad request"), QStringLiteral("no such page"), {}, 0, {}});
    }
}

void GatewayServer::refuse(const Asked& asked, const HttpReply& reply, const Refusal& refusal) {
    respond(asked, reply, refusalAnswer(refusal));
}

const GatewayServer::Target& GatewayServer::targetOf(const QByteArray& rawQuery) {
    const QString raw = QString::fromLatin1(rawQuery);
    if (const auto it = targets_.constFind(raw); it != targets_.constEnd()) {
        return *it;
    }
    // Pages ask the same few queries over and over: each is parsed once, not per request. The
    // table is emptied when full, so odd queries cannot grow it.
    if (targets_.size() >= kMaxRememberedTargets) {
        targets_.clear();
    }
    const QUrlQuery query(raw);
    const auto item = [&query](const char* name) {
        return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    Target target{
        serverKeyFromParts(item("game"), item("host"), item("port")), {}, bannerLayoutOf(query)};
    if (const auto* key = std::get_if<ServerKey>(&target.key)) {
        target.id = key->id();
    }
    return *targets_.insert(raw, std::move(target));
}

void GatewayServer::answerServer(const HttpRequest& request, Asked& asked, const HttpReply& reply) {
    const Target& target = targetOf(request.query);
    const bool wellFormed = std::holds_alternative<ServerKey>(target.key);
    if (wellFormed && asked.endpoint == Endpoint::Banner && !target.layout) {
        // A request that is malformed is told so before whether its server may be asked.
        refuse(asked, reply,
               {400,
                QStringLiteral("bad request"),
                QStringLiteral("details must be 0 or 1, rows a whole number"),
                {},
                0,
                {}});
        return;
    }
    if (const std::optional<Refusal> refusal = policy_.judgeTarget(target.key)) {
        refuse(asked, reply, *refusal);
        return;
    }
    if (asked.endpoint == Endpoint::Banner) {
        asked.layout = *target.layout;
    }
    Snapshot* snapshot = cache_->fresh(std::get<ServerKey>(target.key), target.id);
    if (asked.endpoint == Endpoint::Status) {
        publishReady(request.query, target.id, snapshot);
    }
    if (snapshot) {
        respond(asked, reply, answerFrom(*snapshot, asked));
        return;
    }
    waiting_[target.id].push_back(std::make_unique<Waiting>(Waiting{asked, reply}));
}

void GatewayServer::onAnswered(const QString& id) {
    const auto found = waiting_.find(id);
    if (found == waiting_.end()) {
        return;
    }
    const std::vector<std::unique_ptr<Waiting>> waiting = std::move(found->second);
    waiting_.erase(found);
    Snapshot* snapshot = cache_->latest(id);
    if (!snapshot) {
        return;
    }
    publishReady({}, id, snapshot);
    for (const std::unique_ptr<Waiting>& w : waiting) {
        respond(w->asked, w->reply, answerFrom(*snapshot, w->asked));
    }
}

Answer GatewayServer::answerFrom(Snapshot& snapshot, const Asked& asked) const {
    switch (asked.endpoint) {
        case Endpoint::Banner:
            return bannerAnswer(snapshot, asked.layout, cache_->nowMs());
        case Endpoint::Icon:
            return iconAnswer(snapshot, cache_->nowMs());
        default:
            return statusAnswer(snapshot, cache_->nowMs());
    }
}

void GatewayServer::respond(const Asked& asked, const HttpReply& reply, const Answer& answer) {
    const bool notModified = answer.status == 200 && etagMatches(asked.ifNoneMatch, answer.etag);
    const int status = notModified ? 304 : answer.status;
    metrics_.countRequest(asked.endpoint, status);
    reply(render(asked, answer, status), asked.closeAfter);
}

// The whole answer in one piece, status line to body: one write on the connection.
QByteArray GatewayServer::render(const Asked& asked, const Answer& answer, int status) const {
    const bool withBody = status != 304;
    QByteArray out;
    out.reserve(448 + (withBody ? answer.body.size() : 0));
    out += statusLine(status) + dateHeader();
    if (withBody) {
        out += "Content-Type: " + answer.contentType +
               "\r\nContent-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    }
    out += "Cache-Control: " + answer.cacheControl + "\r\n";
    if (!answer.etag.isEmpty()) {
        out += "ETag: " + answer.etag + "\r\n";
    }
    if (status == 405) {
        out += "Allow: GET\r\n";
    }
    if (answer.retryAfter > 0) {
        out += "Retry-After: " + QByteArray::number(answer.retryAfter) + "\r\n";
    }
    out += "X-Content-Type-Options: nosniff\r\n";
    if (asked.endpoint == Endpoint::Banner) {
        // Whatever ends up in the image, it can run nothing and fetch nothing.
        out +=
            "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; img-src "
            "data:\r\n";
    }
    appendCorsHeaders(asked, out);
    out += asked.closeAfter     ? "Connection: close\r\n\r\n"
           : asked.sayKeepAlive ? "Connection: keep-alive\r\n\r\n"
                                : "\r\n";
    if (withBody) {
        out += answer.body;
    }
    return out;
}

void GatewayServer::appendCorsHeaders(const Asked& asked, QByteArray& out) const {
    if (options_.allowOrigins.isEmpty()) {
        return;
    }
    // Pages read the gateway's clock from Date to judge how old an answer kept by a cache is.
    if (options_.allowOrigins.contains(QLatin1String("*"))) {
        out += "Access-Control-Allow-Origin: *\r\nAccess-Control-Expose-Headers: Date\r\n";
        return;
    }
    // The answer depends on who asks: caches keep one copy per origin.
    out += "Vary: Origin\r\n";
    if (!asked.origin.isEmpty() &&
        options_.allowOrigins.contains(QString::fromUtf8(asked.origin))) {
        out += "Access-Control-Allow-Origin: " + asked.origin +
               "\r\nAccess-Control-Expose-Headers: Date\r\n";
    }
}

}  // namespace tamarin::gateway
