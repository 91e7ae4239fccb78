#include "gateway/gatewayserver.h"

#include <QHttpServerRequest>
#include <QUrlQuery>

// Resources of a static library are registered by hand: nothing else references them. Outside
// any namespace, as the resource's own registration function is.
static void registerWebResources() {
    Q_INIT_RESOURCE(web);
}

namespace tamarin::gateway {

namespace {

using StatusCode = QHttpServerResponder::StatusCode;
constexpr qsizetype kMaxRememberedTargets = 4096;

GatewayMetrics::Endpoint endpointOf(const QString& path) {
    using E = GatewayMetrics::Endpoint;
    static const QHash<QString, E> endpoints{
        {QStringLiteral("/status.json"), E::Status}, {QStringLiteral("/banner.svg"), E::Banner},
        {QStringLiteral("/vireo.js"), E::Script},    {QStringLiteral("/vireo.css"), E::Style},
        {QStringLiteral("/healthz"), E::Health},     {QStringLiteral("/metrics"), E::Metrics},
    };
    return endpoints.value(path, E::Other);
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
    : QAbstractHttpServer(parent),
      options_(options),
      policy_(options.allow, options.trustedProxies, options.ratePerSecond, options.burst),
      guard_(new ConnectionGuard(options.limits, metrics_, this)),
      cache_(new StatusCache(options.cache, policy_, metrics_, this)) {
    registerWebResources();
    script_ =
        resourceAnswer(QStringLiteral(":/web/vireo.js"), "application/javascript; charset=utf-8");
    style_ = resourceAnswer(QStringLiteral(":/web/vireo.css"), "text/css; charset=utf-8");
    connect(cache_, &StatusCache::answered, this, &GatewayServer::onAnswered);
}

GatewayServer::~GatewayServer() {
    // Pages still waiting are dropped, then the connections and queries, while the metrics they
    // count into still exist.
    waiting_.clear();
    delete cache_;
    delete guard_;
}

std::variant<quint16, QString> GatewayServer::start() {
    // Room for a burst of connections arriving together, so none waits on a SYN retry.
    guard_->setListenBacklogSize(std::clamp(options_.limits.maxConnections, 128, 4096));
    if (!guard_->listen(options_.listenAddress, options_.listenPort)) {
        const QString why = guard_->errorString();
        return QStringLiteral("cannot listen on %1 port %2: %3")
            .arg(options_.listenAddress.toString())
            .arg(options_.listenPort)
            .arg(why);
    }
    bind(guard_);  // the HTTP server owns the listening socket from here on
    return guard_->serverPort();
}

bool GatewayServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (!guard_->requestDispatched(socket)) {
        socket->abort();
        return true;
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    Asked asked;
    asked.endpoint = endpointOf(request.url().path());
    asked.origin = request.value(QByteArrayLiteral("origin"));
    asked.ifNoneMatch = request.value(QByteArrayLiteral("if-none-match"));
    asked.closeAfter = request.value(QByteArrayLiteral("connection")).toLower().contains("close");
    asked.socket = socket;
    route(request, asked, responder);
    return true;
}

void GatewayServer::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
    // Every request is handled in handleRequest, a 404 included.
}

void GatewayServer::route(const QHttpServerRequest& request, Asked& asked,
                          QHttpServerResponder& responder) {
    if (request.method() != QHttpServerRequest::Method::Get) {
        refuse(
            asked, responder,
            {405, QStringLiteral("bad request"), QStringLiteral("only GET is served"), {}, 0, {}});
        return;
    }
    const bool limited = asked.endpoint != Endpoint::Health && asked.endpoint != Endpoint::Metrics;
    const QHostAddress client = policy_.clientOf(
        request.remoteAddress(), request.value(QByteArrayLiteral("x-forwarded-for")));
    if (const auto refusal = limited ? policy_.admit(client, cache_->nowMs()) : std::nullopt) {
        metrics_.countRateLimited();
        refuse(asked, responder, *refusal);
        return;
    }
    switch (asked.endpoint) {
        case Endpoint::Status:
        case Endpoint::Banner:
            answerServer(request, asked, responder);
            return;
        case Endpoint::Script:
            respond(asked, responder, script_);
            return;
        case Endpoint::Style:
            respond(asked, responder, style_);
            return;
        case Endpoint::Health:
            respond(asked, responder, healthAnswer());
            return;
        case Endpoint::Metrics:
            metrics_.setGauges(cache_->size(), guard_->openConnections());
            respond(asked, responder, metricsAnswer(metrics_));
            return;
        default:
            refuse(asked, responder,
                   {404, QStringLiteral("bad request"), QStringLiteral("no such page"), {}, 0, {}});
    }
}

void GatewayServer::refuse(const Asked& asked, QHttpServerResponder& responder,
                           const Refusal& refusal) {
    respond(asked, responder, refusalAnswer(refusal));
}

const GatewayServer::Target& GatewayServer::targetOf(const QHttpServerRequest& request) {
    const QString raw = request.url().query(QUrl::FullyEncoded);
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

void GatewayServer::answerServer(const QHttpServerRequest& request, Asked& asked,
                                 QHttpServerResponder& responder) {
    const Target& target = targetOf(request);
    const bool wellFormed = std::holds_alternative<ServerKey>(target.key);
    if (wellFormed && asked.endpoint == Endpoint::Banner && !target.layout) {
        // A request that is malformed is told so before whether its server may be asked.
        refuse(asked, responder,
               {400,
                QStringLiteral("bad request"),
                QStringLiteral("details must be 0 or 1, rows a whole number"),
                {},
                0,
                {}});
        return;
    }
    if (const std::optional<Refusal> refusal = policy_.judgeTarget(target.key)) {
        refuse(asked, responder, *refusal);
        return;
    }
    if (asked.endpoint == Endpoint::Banner) {
        asked.layout = *target.layout;
    }
    if (Snapshot* snapshot = cache_->fresh(std::get<ServerKey>(target.key), target.id)) {
        respond(asked, responder, answerFrom(*snapshot, asked));
        return;
    }
    waiting_[target.id].push_back(std::make_unique<Waiting>(Waiting{asked, std::move(responder)}));
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
    for (const std::unique_ptr<Waiting>& w : waiting) {
        // A page that hung up while waiting has nobody left to answer.
        if (w->asked.socket && w->asked.socket->state() == QAbstractSocket::ConnectedState) {
            respond(w->asked, w->responder, answerFrom(*snapshot, w->asked));
        }
    }
}

Answer GatewayServer::answerFrom(Snapshot& snapshot, const Asked& asked) const {
    return asked.endpoint == Endpoint::Banner
               ? bannerAnswer(snapshot, asked.layout, cache_->nowMs())
               : statusAnswer(snapshot, cache_->nowMs());
}

void GatewayServer::respond(const Asked& asked, QHttpServerResponder& responder,
                            const Answer& answer) {
    const bool notModified = answer.status == 200 && etagMatches(asked.ifNoneMatch, answer.etag);
    const int status = notModified ? 304 : answer.status;
    responder.writeStatusLine(StatusCode(status));
    // The rest goes to the socket in one piece: one copy into its buffer, not one per line.
    QByteArray out;
    out.reserve(384 + (notModified ? 0 : answer.body.size()));
    if (!notModified) {
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
        out += "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'\r\n";
    }
    appendCorsHeaders(asked, out);
    out += asked.closeAfter ? "Connection: close\r\n\r\n" : "\r\n";
    if (!notModified) {
        out += answer.body;
    }
    responder.socket()->write(out);
    metrics_.countRequest(asked.endpoint, status);
    guard_->answered(asked.socket);
    if (asked.closeAfter) {
        responder.socket()->disconnectFromHost();  // after what was written has gone
    }
}

void GatewayServer::appendCorsHeaders(const Asked& asked, QByteArray& out) const {
    if (options_.allowOrigins.isEmpty()) {
        return;
    }
    if (options_.allowOrigins.contains(QLatin1String("*"))) {
        out += "Access-Control-Allow-Origin: *\r\n";
        return;
    }
    // The answer depends on who asks: caches keep one copy per origin.
    out += "Vary: Origin\r\n";
    if (!asked.origin.isEmpty() &&
        options_.allowOrigins.contains(QString::fromUtf8(asked.origin))) {
        out += "Access-Control-Allow-Origin: " + asked.origin + "\r\n";
    }
}

}  // namespace tamarin::gateway
