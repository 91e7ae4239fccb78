#pragma once

#include <QHash>
#include <QObject>
#include <memory>
#include <shared_mutex>
#include <unordered_map>
#include <variant>
#include <vector>

#include "gateway/answers.h"
#include "gateway/connectionguard.h"
#include "gateway/gatewayoptions.h"
#include "gateway/httplistener.h"
#include "gateway/metrics.h"
#include "gateway/relaypolicy.h"
#include "gateway/statuscache.h"

namespace tamarin::gateway {

// The gateway: routes each request the HTTP threads read to its answer (/status.json and
// /banner.svg from the status cache, the browser script and stylesheet compiled in, /healthz and
// /metrics) after the relay policy has judged it, on the thread the queries and the cache run
// on, and hands the answer's bytes back. Every request gets an answer with a defined status
// code; nothing a client sends is ever thrown or logged per request.
class GatewayServer : public QObject {
    Q_OBJECT

  public:
    explicit GatewayServer(const GatewayOptions& options, QObject* parent = nullptr);
    ~GatewayServer() override;

    // Listens where the options say: the port listened on, or why it could not.
    std::variant<quint16, QString> start();
    const GatewayMetrics& metrics() const { return metrics_; }

  private:
    using Endpoint = GatewayMetrics::Endpoint;
    // What a request asked, kept while it waits for its server's query.
    struct Asked {
        Endpoint endpoint = Endpoint::Other;
        QByteArray origin;
        QByteArray ifNoneMatch;
        BannerLayout layout;
        bool closeAfter = false;    // the client asked for "Connection: close", or HTTP/1.0
        bool sayKeepAlive = false;  // an HTTP/1.0 client asked to keep the connection
    };
    struct Waiting {
        Asked asked;
        HttpReply reply;
    };
    // A status or banner query string, parsed.
    struct Target {
        KeyOrError key;
        QString id;  // of the key, when there is one
        std::optional<BannerLayout> layout;
    };
    static Asked askedOf(const HttpRequest& request);
    bool answerAtOnce(const HttpRequest& request, const HttpReply& reply);
    std::shared_ptr<const Snapshot> readyStatus(const QByteArray& rawQuery) const;
    void publishReady(const QByteArray& rawQuery, const QString& id, const Snapshot* snapshot);
    void handle(const HttpRequest& request, const HttpReply& reply);
    const Target& targetOf(const QByteArray& rawQuery);
    void route(const HttpRequest& request, Asked& asked, const HttpReply& reply);
    void answerServer(const HttpRequest& request, Asked& asked, const HttpReply& reply);
    void onAnswered(const QString& id);
    Answer answerFrom(Snapshot& snapshot, const Asked& asked) const;
    void refuse(const Asked& asked, const HttpReply& reply, const Refusal& refusal);
    void respond(const Asked& asked, const HttpReply& reply, const Answer& answer);
    QByteArray render(const Asked& asked, const Answer& answer, int status) const;
    CannedAnswers cannedAnswers() const;
    void appendCorsHeaders(const Asked& asked, QByteArray& out) const;

    GatewayOptions options_;
    GatewayMetrics metrics_;
    RelayPolicy policy_;
    ConnectionGuard guard_;
    StatusCache* cache_;
    std::unique_ptr<HttpListener> listener_;
    QHash<QString, Target> targets_;
    Answer script_;
    Answer style_;
    Answer health_;
    // What the HTTP threads answer without a trip to this thread: the fresh statuses (published
    // here after each query), found by the query strings pages have asked them with. Both tables
    // are emptied when full, so odd queries and a long allow-list cannot grow them.
    struct Ready {
        QHash<QByteArray, QString> ids;
        QHash<QString, std::shared_ptr<const Snapshot>> statuses;
    };
    mutable std::shared_mutex readyMutex_;
    Ready ready_;
    struct IdHash {
        size_t operator()(const QString& id) const { return qHash(id); }
    };
    std::unordered_map<QString, std::vector<std::unique_ptr<Waiting>>, IdHash> waiting_;
};

}  // namespace tamarin::gateway
