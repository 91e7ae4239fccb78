#pragma once

#include <QAbstractHttpServer>
#include <QHash>
#include <QHttpServerResponder>
#include <QPointer>
#include <QSet>
#include <memory>
#include <unordered_map>
#include <variant>
#include <vector>

#include "gateway/answers.h"
#include "gateway/connectionguard.h"
#include "gateway/gatewayoptions.h"
#include "gateway/metrics.h"
#include "gateway/relaypolicy.h"
#include "gateway/statuscache.h"

namespace tamarin::gateway {

// The gateway's HTTP side: routes each request to its answer (/status.json and /banner.svg from
// the status cache, the browser script and stylesheet compiled in, /healthz and /metrics) after
// the relay policy has judged it, and writes the answer. Every request gets an answer with a
// defined status code; nothing a client sends is ever thrown or logged per request.
class GatewayServer : public QAbstractHttpServer {
    Q_OBJECT

  public:
    explicit GatewayServer(const GatewayOptions& options, QObject* parent = nullptr);
    ~GatewayServer() override;

    // Listens where the options say: the port listened on, or why it could not.
    std::variant<quint16, QString> start();
    const GatewayMetrics& metrics() const { return metrics_; }

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    using Endpoint = GatewayMetrics::Endpoint;
    // What a request asked, kept while it waits for its server's query.
    struct Asked {
        Endpoint endpoint = Endpoint::Other;
        QByteArray origin;
        QByteArray ifNoneMatch;
        BannerLayout layout;
        bool closeAfter = false;  // the client asked for "Connection: close"
        QPointer<QTcpSocket> socket;
    };
    struct Waiting {
        Asked asked;
        QHttpServerResponder responder;
    };
    // A status or banner query string, parsed.
    struct Target {
        KeyOrError key;
        QString id;  // of the key, when there is one
        std::optional<BannerLayout> layout;
    };
    const Target& targetOf(const QHttpServerRequest& request);
    void route(const QHttpServerRequest& request, Asked& asked, QHttpServerResponder& responder);
    void answerServer(const QHttpServerRequest& request, Asked& asked,
                      QHttpServerResponder& responder);
    void onAnswered(const QString& id);
    Answer answerFrom(Snapshot& snapshot, const Asked& asked) const;
    void refuse(const Asked& asked, QHttpServerResponder& responder, const Refusal& refusal);
    void respond(const Asked& asked, QHttpServerResponder& responder, const Answer& answer);
    void appendCorsHeaders(const Asked& asked, QByteArray& out) const;

    GatewayOptions options_;
    GatewayMetrics metrics_;
    RelayPolicy policy_;
    ConnectionGuard* guard_;
    StatusCache* cache_;
    QHash<QString, Target> targets_;
    Answer script_;
    Answer style_;
    struct IdHash {
        size_t operator()(const QString& id) const { return qHash(id); }
    };
    std::unordered_map<QString, std::vector<std::unique_ptr<Waiting>>, IdHash> waiting_;
};

}  // namespace tamarin::gateway
