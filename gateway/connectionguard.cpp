#include "gateway/connectionguard.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tamarin::gateway {

ConnectionGuard::ConnectionGuard(const ConnectionLimits& limits, GatewayMetrics& metrics,
                                 QObject* parent)
    : QTcpServer(parent), limits_(limits), metrics_(metrics) {
    clock_.start();
    // Deadlines are checked a few times per timeout: one timer for all connections costs less
    // than a timer each, and a deadline is kept to within a quarter of it.
    const int shortest = std::min(limits_.idleTimeoutMs, limits_.requestTimeoutMs);
    sweeper_.setInterval(std::clamp(shortest / 4, 10, 250));
    connect(&sweeper_, &QTimer::timeout, this, &ConnectionGuard::sweep);
    sweeper_.start();
}

void ConnectionGuard::incomingConnection(qintptr descriptor) {
    if (connections_.size() >= limits_.maxConnections) {
        metrics_.countDropped(GatewayMetrics::Dropped::ConnectionLimit);
        ::close(int(descriptor));
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    if (!admitClient(socket)) {
        metrics_.countDropped(GatewayMetrics::Dropped::ClientLimit);
        socket->abort();
        delete socket;
        return;
    }
    // The HTTP library reads all a client sends; the buffer bound stops a fast client from
    // filling memory before the size check sees its bytes.
    socket->setReadBufferSize(qint64(limits_.maxRequestBytes) * 2 + 4096);
    // Connected before the library connects its own, so the size is checked before it parses.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { connections_.remove(socket); });
    connections_.insert(socket, Connection{socket, Phase::Idle, clock_.elapsed(), 0});
    addPendingConnection(socket);
}

// An IPv4 client by its address (mapped into IPv6 or not), an IPv6 one by its /64.
QByteArray ConnectionGuard::clientKeyOf(const QHostAddress& peer) {
    bool isIpv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIpv4);
    if (isIpv4) {
        return QByteArray::number(ipv4);
    }
    const Q_IPV6ADDR ipv6 = peer.toIPv6Address();
    return QByteArray(reinterpret_cast<const char*>(ipv6.c), 8);
}

// Counts the connection against its client, or refuses it when the client has all it may have:
// one greedy client must not take the connections everyone else needs.
bool ConnectionGuard::admitClient(QTcpSocket* socket) {
    const QHostAddress peer = socket->peerAddress();
    for (const QHostAddress& unlimited : limits_.unlimitedClients) {
        if (peer.isEqual(unlimited, QHostAddress::TolerantConversion)) {
            return true;
        }
    }
    const QByteArray key = clientKeyOf(peer);
    if (perClient_.value(key) >= limits_.maxConnectionsPerClient) {
        return false;
    }
    ++perClient_[key];
    connect(socket, &QObject::destroyed, this, [this, key] {
        if (--perClient_[key] <= 0) {
            perClient_.remove(key);
        }
    });
    return true;
}

void ConnectionGuard::onReadyRead(QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) {
        return;
    }
    if (it->phase == Phase::Idle) {
        if (!mayStartRequest(socket)) {
            // Read away first: the library reads next, and must find nothing, not a closed device.
            metrics_.countDropped(GatewayMetrics::Dropped::NotHttp);
            connections_.remove(socket);
            socket->readAll();
            socket->disconnectFromHost();
            socket->deleteLater();
            return;
        }
        it->phase = Phase::Reading;
        it->sinceMs = clock_.elapsed();
        it->bytes = 0;
    }
    // What is available now is what arrived since the library last read.
    it->bytes += socket->bytesAvailable();
    if (it->bytes > limits_.maxRequestBytes) {
        refuseOversized(socket);
    }
}

// A request starts with its method, a token, or with the empty lines some clients send between
// requests. Anything else (a TLS handshake sent to the plain port, say) is no HTTP and will never
// become a request: closing at once beats holding the connection for the request timeout.
bool ConnectionGuard::mayStartRequest(QTcpSocket* socket) {
    char first = 0;
    if (socket->peek(&first, 1) != 1) {
        return true;
    }
    const auto c = static_cast<unsigned char>(first);
    return std::isalnum(c) || (c != 0 && std::strchr("!#$%&'*+-.^_`|~\r\n", c) != nullptr);
}

void ConnectionGuard::refuseOversized(QTcpSocket* socket) {
    metrics_.countDropped(GatewayMetrics::Dropped::Oversized);
    connections_.remove(socket);
    // Read away what came, so the library has nothing left to parse, then close after the answer.
    socket->readAll();
    socket->write(
        "HTTP/1.1 431 Request Header Fields Too Large\r\n"
        "Content-Length: 0\r\nConnection: close\r\n\r\n");
    socket->flush();
    socket->disconnectFromHost();
    socket->deleteLater();
}

bool ConnectionGuard::requestDispatched(QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) {
        return true;
    }
    if (it->phase == Phase::Answering) {
        metrics_.countDropped(GatewayMetrics::Dropped::Pipelined);
        return false;
    }
    it->phase = Phase::Answering;
    it->bytes = 0;
    return true;
}

void ConnectionGuard::answered(QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) {
        return;
    }
    if (socket->bytesToWrite() > limits_.maxUnsentBytes) {
        drop(socket, GatewayMetrics::Dropped::Unread);
        return;
    }
    if (it->phase == Phase::Answering) {
        it->phase = Phase::Idle;
        it->sinceMs = clock_.elapsed();
    }
}

void ConnectionGuard::sweep() {
    const qint64 now = clock_.elapsed();
    QList<std::pair<QTcpSocket*, GatewayMetrics::Dropped>> doomed;
    for (auto it = connections_.begin(); it != connections_.end();) {
        QTcpSocket* socket = it->socket.data();
        if (!socket) {
            it = connections_.erase(it);
            continue;
        }
        const qint64 age = now - it->sinceMs;
        if (it->phase == Phase::Idle && socket->bytesToWrite() > 0 &&
            age > limits_.requestTimeoutMs) {
            doomed.append({socket, GatewayMetrics::Dropped::Unread});
        } else if ((it->phase == Phase::Idle && age > limits_.idleTimeoutMs) ||
                   (it->phase == Phase::Reading && age > limits_.requestTimeoutMs)) {
            doomed.append({socket, GatewayMetrics::Dropped::Timeout});
        }
        ++it;
    }
    for (const auto& [socket, reason] : doomed) {
        drop(socket, reason);
    }
}

void ConnectionGuard::drop(QTcpSocket* socket, GatewayMetrics::Dropped reason) {
    metrics_.countDropped(reason);
    connections_.remove(socket);
    socket->abort();
    socket->deleteLater();
}

}  // namespace tamarin::gateway
