#include "serverquery/serverquery.h"

#include <QFutureWatcher>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include "serverquery/connectedsocket.h"
#include "serverquery/hostlookup.h"
#include "serverquery/queryconversation.h"

namespace tamarin {

namespace {

constexpr int kDefaultTimeoutMs = 1500;
// A lossy network drops a datagram now and then, and a busy server answers only so many status
// requests a second from one address. One rule for both: a request that has no answer after half
// the timeout, a wait far longer than any round trip, goes out once more; that happens once per
// query, whichever request it is. So a silent server receives two datagrams per query, and a
// server that limits its rate is not pushed over its limit. Replies to either copy do as well.
constexpr int kResendDivisor = 2;
// Datagrams read in one go before the event loop gets a turn; the rest wait for the next one.
constexpr int kDatagramsPerWakeUp = 64;

using Lookup = QFutureWatcher<std::optional<Endpoint>>;
using Trouble = ConnectedSocket::Trouble;

// A name that could be looked up. Checking first keeps obviously broken names (blanks, empty
// labels) off the resolver altogether.
// The resolver reads "24567", "127.1" and "0x7f.1" as IPv4 addresses in an old shorthand and
// would query 0.0.95.247 for the first; no host name ends in a number (no top-level domain does),
// so such a text is a mistyped address.
bool isShorthandAddress(const QString& host) {
    static const QRegularExpression number(QStringLiteral("^(0x[0-9a-f]*|[0-9]+)$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return number.match(host.section(QLatin1Char('.'), -1)).hasMatch();
}

bool isLookupName(const QString& host) {
    return !QUrl::toAce(host).isEmpty() && !isShorthandAddress(host);
}

// An IPv6 address may be typed in brackets, as in a web address. Only the whole host is
// unwrapped: a port written inside the brackets is not taken apart.
QString withoutBrackets(const QString& host) {
    if (host.size() > 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        return host.mid(1, host.size() - 2);
    }
    return host;
}

}  // namespace

struct ServerQuery::Private {
    explicit Private(ServerQuery* owner) : q(owner) {}

    void begin();
    void lookUp();
    void onLookedUp();
    void openSocket(const Endpoint& server);
    bool connectSocket();
    bool send(const QByteArray& request);
    Trouble sendDatagram(const QByteArray& datagram);
    void resend();
    void readDatagrams();
    bool endOnTrouble(Trouble trouble);
    bool reconnectOrFinish(const ConversationStep& step);
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
    QByteArray service;  // the service record a name is looked up by first, if any
    Lookup* lookup = nullptr;
    ConnectedSocket* socket = nullptr;
    Endpoint server;  // the one the socket is connected to
    QTimer deadline;
    QTimer resendTimer;
    QByteArray lastRequest;
    bool resendLeft = false;  // one per query, not per request
    bool heard = false;       // something came back from the server, understood or not
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
    d_->resendTimer.setSingleShot(true);
    connect(&d_->resendTimer, &QTimer::timeout, this, [this] { d_->resend(); });
}

ServerQuery::~ServerQuery() {
    d_->tearDown();
}

void ServerQuery::start(const QString& host, quint16 port, QueryProtocol protocol,
                        const QString& hostAsTyped) {
    d_->cancel();
    d_->running = true;
    d_->heard = false;
    d_->host = host.trimmed();
    d_->port = port;
    d_->service = serviceRecordFor(protocol, port);
    d_->conversation =
        makeConversation(protocol, hostAsTyped.isEmpty() ? d_->host : hostAsTyped, port);
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
        finish(ServerStatus::withState(ServerStatus::State::NotAnswering));
        return;
    }
    if (host.isEmpty() || port == 0) {
        finish(ServerStatus::withState(ServerStatus::State::BadAddress));
        return;
    }
    const QString bare = withoutBrackets(host);
    if (const std::optional<Endpoint> literal = numericEndpoint(bare, port)) {
        openSocket(*literal);
        return;
    }
    // Brackets belong around numeric addresses only; a name in them is a typing mistake.
    if (bare != host || !isLookupName(host)) {
        finish(ServerStatus::withState(ServerStatus::State::BadAddress));
        return;
    }
    lookUp();
}

void ServerQuery::Private::lookUp() {
    lookup = new Lookup(q);
    QObject::connect(lookup, &Lookup::finished, q, ifCurrent([this] { onLookedUp(); }));
    lookup->setFuture(lookUpEndpoint(host, port, service));
}

void ServerQuery::Private::onLookedUp() {
    const QFuture<std::optional<Endpoint>> future = lookup->future();
    if (future.resultCount() == 0) {
        return;  // the lookup could not run; the deadline ends the query
    }
    const std::optional<Endpoint> found = future.result();
    if (!found) {
        ServerStatus status = ServerStatus::withState(ServerStatus::State::BadAddress);
        status.failure = ServerStatus::Failure::HostNotFound;
        finish(status);
        return;
    }
    openSocket(*found);
}

void ServerQuery::Private::openSocket(const Endpoint& endpoint) {
    server = endpoint;
    // A socket the system will not give leaves the query to its deadline, as silence would.
    if (connectSocket()) {
        // A stream loses nothing, and a request sent twice is read twice.
        resendLeft = !conversation->overStream();
        send(conversation->firstRequest());
    }
}

// A new socket to the server, replacing any before it; false when the system gives none.
bool ServerQuery::Private::connectSocket() {
    if (socket) {
        socket->disconnect(q);
        socket->deleteLater();  // it may be emitting the signal that brought us here
    }
    socket = new ConnectedSocket(q);
    QObject::connect(socket, &ConnectedSocket::readyRead, q,
                     ifCurrent([this] { readDatagrams(); }));
    return socket->connectTo(server, conversation->overStream() ? ConnectedSocket::Kind::Stream
                                                                : ConnectedSocket::Kind::Datagram);
}

// False when sending ended the query (the system reported the port closed).
bool ServerQuery::Private::send(const QByteArray& request) {
    if (!socket || request.isEmpty()) {
        return true;
    }
    lastRequest = request;
    if (resendLeft) {
        resendTimer.start(std::max(1, timeoutMs / kResendDivisor));
    }
    return !endOnTrouble(sendDatagram(request));
}

Trouble ServerQuery::Private::sendDatagram(const QByteArray& datagram) {
    emit q->datagramSent();
    return socket->send(datagram);
}

void ServerQuery::Private::resend() {
    if (socket && !lastRequest.isEmpty() && resendLeft) {
        resendLeft = false;
        endOnTrouble(sendDatagram(lastRequest));
    }
}

// Ends the query on what the system reported about the server; true when it did.
bool ServerQuery::Private::endOnTrouble(Trouble trouble) {
    switch (trouble) {
        case Trouble::PortClosed:
            finish(ServerStatus::withState(ServerStatus::State::Refused));
            return true;
        case Trouble::Unreachable:
            finish(conversation->onTimeout());  // no reply can come now
            return true;
        case Trouble::Closed:
            return !reconnectOrFinish(conversation->onClosed());
        case Trouble::None:
            return false;
    }
    return false;
}

void ServerQuery::Private::readDatagrams() {
    for (int i = 0; i < kDatagramsPerWakeUp && socket; ++i) {
        Trouble trouble = Trouble::None;
        const std::optional<QByteArray> datagram = socket->receive(trouble);
        if (endOnTrouble(trouble) || !datagram) {
            return;
        }
        resendTimer.stop();  // the server is there; its answer to the request is on its way
        heard = true;
        const ConversationStep step = conversation->onDatagram(*datagram);
        if (step.reconnect) {
            reconnectOrFinish(step);  // what comes next, comes on the new connection
            return;
        }
        if (!send(step.send)) {
            return;
        }
        if (step.outcome) {
            finish(*step.outcome);
            return;
        }
    }
}

// A step after the server closed its end: a new connection for its request, or the end. False
// when the query ended.
bool ServerQuery::Private::reconnectOrFinish(const ConversationStep& step) {
    if (!step.reconnect) {
        finish(step.outcome.value_or(conversation->onTimeout()));
        return false;
    }
    return !connectSocket() || send(step.send);
}

void ServerQuery::Private::onDeadline() {
    if (running) {
        finish(conversation ? conversation->onTimeout()
                            : ServerStatus::withState(ServerStatus::State::NotAnswering));
    }
}

void ServerQuery::Private::finish(const ServerStatus& given) {
    ServerStatus status = given;
    if (heard && status.state == ServerStatus::State::NotAnswering) {
        status.failure = ServerStatus::Failure::AnsweredOtherwise;
    }
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
    resendTimer.stop();
    lastRequest.clear();
    resendLeft = false;
    // Both may be in the middle of emitting the signal that ended the query.
    if (lookup) {
        lookup->disconnect(q);
        lookup->deleteLater();
        lookup = nullptr;
    }
    if (socket) {
        socket->disconnect(q);
        socket->deleteLater();
        socket = nullptr;
    }
    conversation.reset();
}

}  // namespace tamarin
