#include "statuscontrol/serverquery.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QPointer>
#include <QTimer>
#include <QUdpSocket>
#include <QUrl>

#include "statuscontrol/queryconversation.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>

#include <cerrno>
#endif

namespace tamarin {

namespace {

constexpr int kDefaultTimeoutMs = 1500;
// Datagrams read in one go before the event loop gets a turn; the rest wait for the next one.
constexpr int kDatagramsPerWakeUp = 64;

ServerStatus withState(ServerStatus::State state) {
    ServerStatus status;
    status.state = state;
    return status;
}

// A name QHostInfo could look up. Checking first keeps obviously broken names (blanks, empty
// labels) off the resolver altogether.
bool isLookupName(const QString& host) {
    return !QUrl::toAce(host).isEmpty();
}

// IPv4 first: a game server's name usually points at one, and many listen only there.
QHostAddress preferredAddress(const QList<QHostAddress>& addresses) {
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            return address;
        }
    }
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

enum class SocketTrouble { None, PortClosed, Unreachable };

// What the system has reported about the server through ICMP. Such a report makes a connected UDP
// socket readable with a pending error but no datagram; Qt drops that error while it looks for
// datagrams and then stops watching the socket until something is read, so the error is taken
// from the socket first (reading SO_ERROR also clears it) and the query ends on it.
SocketTrouble takeSocketTrouble(const QUdpSocket& socket) {
#ifdef Q_OS_UNIX
    int error = 0;
    socklen_t length = sizeof error;
    const int descriptor = int(socket.socketDescriptor());
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error == 0) {
        return SocketTrouble::None;
    }
    return error == ECONNREFUSED ? SocketTrouble::PortClosed : SocketTrouble::Unreachable;
#else
    Q_UNUSED(socket);
    return SocketTrouble::None;  // elsewhere Qt reports a closed port as ConnectionRefusedError
#endif
}

}  // namespace

struct ServerQuery::Private {
    explicit Private(ServerQuery* owner) : q(owner) {}

    void begin();
    void onLookedUp(const QHostInfo& info);
    void openSocket(const QHostAddress& address);
    bool send(const QByteArray& request);
    bool isFromServer(const QNetworkDatagram& datagram) const;
    void readDatagrams();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDeadline();
    void finish(const ServerStatus& status);
    void cancel();
    void tearDown();
    // Runs the callback only while the query that asked for it is still the current one.
    template <typename Callback>
    auto ifCurrent(Callback callback);

    ServerQuery* q;
    int timeoutMs = kDefaultTimeoutMs;
    // Every start, cancel and finish moves this on; callbacks of an earlier query see a different
    // number and do nothing, so nothing of a cancelled query is ever reported.
    quint64 generation = 0;
    bool running = false;
    QString host;
    quint16 port = 0;
    QHostAddress address;
    int lookupId = -1;
    QUdpSocket* socket = nullptr;
    QTimer deadline;
    std::unique_ptr<QueryConversation> conversation;
};

template <typename Callback>
auto ServerQuery::Private::ifCurrent(Callback callback) {
    return [this, callback, asked = generation](auto&&... args) {
        if (asked == generation) {
            callback(std::forward<decltype(args)>(args)...);
        }
    };
}

ServerQuery::ServerQuery(QObject* parent) : QObject(parent), d_(std::make_unique<Private>(this)) {
    d_->deadline.setSingleShot(true);
    connect(&d_->deadline, &QTimer::timeout, this, [this] { d_->onDeadline(); });
}

ServerQuery::~ServerQuery() {
    d_->tearDown();
}

void ServerQuery::start(const QString& host, quint16 port, QueryProtocol protocol) {
    d_->cancel();
    d_->running = true;
    d_->host = host.trimmed();
    d_->port = port;
    d_->conversation = makeConversation(protocol);
    d_->deadline.start(d_->timeoutMs);
    // The work begins on the next turn of the event loop, so that finished is never emitted
    // from inside start() itself.
    QTimer::singleShot(0, this, d_->ifCurrent([this] { d_->begin(); }));
}

void ServerQuery::cancel() {
    d_->cancel();
}

bool ServerQuery::isRunning() const {
    return d_->running;
}

void ServerQuery::setTimeoutMs(int ms) {
    d_->timeoutMs = std::max(1, ms);
}

int ServerQuery::timeoutMs() const {
    return d_->timeoutMs;
}

void ServerQuery::Private::begin() {
    if (!conversation) {
        // No protocol to ask with: nothing will ever answer.
        finish(withState(ServerStatus::State::NotAnswering));
        return;
    }
    if (host.isEmpty() || port == 0) {
        finish(withState(ServerStatus::State::BadAddress));
        return;
    }
    QHostAddress literal;
    if (literal.setAddress(host)) {
        openSocket(literal);
        return;
    }
    if (!isLookupName(host)) {
        finish(withState(ServerStatus::State::BadAddress));
        return;
    }
    lookupId = QHostInfo::lookupHost(
        host, q, ifCurrent([this](const QHostInfo& info) { onLookedUp(info); }));
}

void ServerQuery::Private::onLookedUp(const QHostInfo& info) {
    lookupId = -1;
    const QHostAddress found = preferredAddress(info.addresses());
    if (info.error() != QHostInfo::NoError || found.isNull()) {
        finish(withState(ServerStatus::State::BadAddress));
        return;
    }
    openSocket(found);
}

// The socket is connected to the server so that the system reports a closed port (the ICMP
// reply) as an error on it; an unconnected UDP socket never hears of it.
void ServerQuery::Private::openSocket(const QHostAddress& server) {
    address = server;
    socket = new QUdpSocket(q);
    QObject::connect(socket, &QUdpSocket::readyRead, q, ifCurrent([this] { readDatagrams(); }));
    QObject::connect(
        socket, &QAbstractSocket::errorOccurred, q,
        ifCurrent([this](QAbstractSocket::SocketError error) { onSocketError(error); }));
    QObject::connect(socket, &QAbstractSocket::connected, q,
                     ifCurrent([this] { send(conversation->firstRequest()); }));
    socket->connectToHost(address, port);
}

// False when sending ended the query (the system reported the port closed).
bool ServerQuery::Private::send(const QByteArray& request) {
    const quint64 sending = generation;
    if (socket && !request.isEmpty()) {
        socket->write(request);
    }
    return sending == generation;
}

bool ServerQuery::Private::isFromServer(const QNetworkDatagram& datagram) const {
    return datagram.senderPort() == port && datagram.senderAddress().isEqual(address);
}

void ServerQuery::Private::readDatagrams() {
    switch (socket ? takeSocketTrouble(*socket) : SocketTrouble::None) {
        case SocketTrouble::PortClosed:
            finish(withState(ServerStatus::State::Refused));
            return;
        case SocketTrouble::Unreachable:
            finish(conversation->onTimeout());  // no reply can come now
            return;
        case SocketTrouble::None:
            break;
    }
    const quint64 reading = generation;
    for (int i = 0; i < kDatagramsPerWakeUp && socket && socket->hasPendingDatagrams(); ++i) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (reading != generation) {
            return;  // the read reported an error that ended the query
        }
        if (!datagram.isValid() || !isFromServer(datagram)) {
            continue;
        }
        const ConversationStep step = conversation->onDatagram(datagram.data());
        if (!send(step.send)) {
            return;
        }
        if (step.outcome) {
            finish(*step.outcome);
            return;
        }
    }
}

void ServerQuery::Private::onSocketError(QAbstractSocket::SocketError error) {
    // Other errors (a full buffer, a network that is briefly down) may pass; the deadline decides.
    if (error == QAbstractSocket::ConnectionRefusedError) {
        finish(withState(ServerStatus::State::Refused));
    }
}

void ServerQuery::Private::onDeadline() {
    if (running) {
        finish(conversation ? conversation->onTimeout()
                            : withState(ServerStatus::State::NotAnswering));
    }
}

void ServerQuery::Private::finish(const ServerStatus& status) {
    cancel();
    emit q->finished(status);  // the receiver may start the next query or delete the query
}

void ServerQuery::Private::cancel() {
    tearDown();
    running = false;
    ++generation;
}

void ServerQuery::Private::tearDown() {
    deadline.stop();
    if (lookupId >= 0) {
        QHostInfo::abortHostLookup(lookupId);
        lookupId = -1;
    }
    if (socket) {
        socket->disconnect(q);
        socket->abort();
        socket->deleteLater();
        socket = nullptr;
    }
    conversation.reset();
}

}  // namespace tamarin
