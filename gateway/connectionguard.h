#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "gateway/metrics.h"

namespace tamarin::gateway {

struct ConnectionLimits {
    int maxConnections = 1024;
    // Open connections of one client (an IPv4 address, or an IPv6 /64, which one host usually
    // has whole). Reverse proxies in `unlimitedClients` carry many visitors and have only the
    // overall limit.
    int maxConnectionsPerClient = 32;
    QList<QHostAddress> unlimitedClients;
    int maxRequestBytes = 8192;    // request line and headers (and any body) of one request
    int idleTimeoutMs = 30000;     // a connection with no request under way
    int requestTimeoutMs = 10000;  // from a request's first byte to its last
    // Answers written and not yet taken by the client. One that asks and never reads would
    // otherwise have its answers pile up in memory; it is cut past this, or when what it has
    // not taken has waited longer than the request timeout.
    qint64 maxUnsentBytes = 256 * 1024;
};

// The listening socket of the HTTP server, keeping the limits the HTTP library does not: a
// connection limit, a size limit on each request, an idle timeout and a time limit on reading
// a request, so a client that sends one byte a second cannot hold a connection for long. (A
// request the library cannot parse makes it close that connection itself.) Each connection passes
// through three phases: idle, reading a request, and waiting for its answer.
class ConnectionGuard : public QTcpServer {
    Q_OBJECT

  public:
    ConnectionGuard(const ConnectionLimits& limits, GatewayMetrics& metrics,
                    QObject* parent = nullptr);

    int openConnections() const { return int(connections_.size()); }
    // A whole request was read from the socket and is being answered. False when the one
    // before it still waits for its answer: answers would leave out of order, so the caller
    // closes such a connection.
    bool requestDispatched(QTcpSocket* socket);
    // Its answer is written: the connection is idle until the next request.
    void answered(QTcpSocket* socket);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    enum class Phase { Idle, Reading, Answering };
    struct Connection {
        QPointer<QTcpSocket> socket;
        Phase phase = Phase::Idle;
        qint64 sinceMs = 0;
        qint64 bytes = 0;
    };

    static QByteArray clientKeyOf(const QHostAddress& peer);
    bool admitClient(QTcpSocket* socket);

    void onReadyRead(QTcpSocket* socket);
    void refuseOversized(QTcpSocket* socket);
    static bool mayStartRequest(QTcpSocket* socket);
    void sweep();
    void drop(QTcpSocket* socket, GatewayMetrics::Dropped reason);

    ConnectionLimits limits_;
    GatewayMetrics& metrics_;
    QHash<QTcpSocket*, Connection> connections_;
    QHash<QByteArray, int> perClient_;
    QTimer sweeper_;
    QElapsedTimer clock_;
};

}  // namespace tamarin::gateway
