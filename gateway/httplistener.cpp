#include "gateway/httplistener.h"

#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cctype>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

namespace tamarin::gateway {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Dropped = GatewayMetrics::Dropped;
using Request = http::request<http::string_body>;

constexpr auto kAnswerLimit = std::chrono::milliseconds(60000);
constexpr auto kLingerLimit = std::chrono::milliseconds(2000);
constexpr std::size_t kReadChunk = 4096;
constexpr auto kAcceptRetry = std::chrono::milliseconds(50);

ConnectionGuard::Address guardAddressOf(const net::ip::address& address) {
    const net::ip::address_v6 v6 =
        address.is_v4() ? net::ip::make_address_v6(net::ip::v4_mapped, address.to_v4())
                        : address.to_v6();
    const auto bytes = v6.to_bytes();
    ConnectionGuard::Address out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

QHostAddress qtAddressOf(const net::ip::address& address) {
    if (address.is_v4()) {
        return QHostAddress(address.to_v4().to_uint());
    }
    const net::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) {
        return QHostAddress(net::ip::make_address_v4(net::ip::v4_mapped, v6).to_uint());
    }
    const auto bytes = v6.to_bytes();
    return QHostAddress(bytes.data());
}

QByteArray bytesOf(beast::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

// A request starts with its method, a token. Anything else (a TLS handshake sent to the plain port,
// say) is no HTTP and will never become a request: closing at once beats holding the connection for
// the request timeout.
bool mayStartRequest(char first) {
    const auto c = static_cast<unsigned char>(first);
    return std::isalnum(c) || (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

// Where two readers of the same bytes could see different requests (a request smuggled behind
// another through a proxy), the request is refused rather than guessed at: a length and a
// transfer coding together, more than one length, and an HTTP/1.1 request without exactly one Host.
bool framedUnambiguously(const Request& request) {
    int lengths = 0;
    int codings = 0;
    int hosts = 0;
    for (const auto& field : request) {
        lengths += field.name() == http::field::content_length ? 1 : 0;
        codings += field.name() == http::field::transfer_encoding ? 1 : 0;
        hosts += field.name() == http::field::host ? 1 : 0;
    }
    const bool hostOk = request.version() >= 11 ? hosts == 1 : hosts <= 1;
    return lengths <= 1 && (lengths == 0 || codings == 0) && hostOk;
}

HttpRequest httpRequestOf(const Request& request, const QHostAddress& peer) {
    HttpRequest out;
    out.isGet = request.method() == http::verb::get;
    const beast::string_view target = request.target();
    const std::size_t mark = target.find('?');
    out.path = bytesOf(target.substr(0, mark));
    out.query = mark == beast::string_view::npos ? QByteArray() : bytesOf(target.substr(mark + 1));
    out.origin = bytesOf(request[http::field::origin]);
    out.ifNoneMatch = bytesOf(request[http::field::if_none_match]);
    out.forwardedFor = bytesOf(request["X-Forwarded-For"]);
    out.peer = peer;
    out.keepAlive = request.keep_alive();
    out.http10 = request.version() == 10;
    return out;
}

// What every connection shares: the limits, the counters and the handler.
struct Shared {
    ConnectionGuard& guard;
    GatewayMetrics& metrics;
    CannedAnswers canned;
    HttpHandler handler;
    std::chrono::milliseconds idleTimeout;
    std::chrono::milliseconds requestTimeout;
    std::chrono::milliseconds shortestTimeout;
    std::size_t maxRequestBytes;
};

// One client connection: waits for a request, reads it whole, hands it over, writes the answer,
// and only then waits for the next. Its deadline is a time, not a timer armed for each step: the
// one timer wakes at the deadline, or after the shortest timeout if that comes sooner, and looks
// again. No deadline set meanwhile can fall before that wake-up, and a request costs no timer
// calls.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(tcp::socket socket, const Shared& shared,
            std::unique_ptr<ConnectionGuard::Ticket> ticket, QHostAddress peer)
        : socket_(std::move(socket)),
          timer_(socket_.get_executor()),
          shared_(shared),
          ticket_(std::move(ticket)),
          peer_(std::move(peer)),
          buffer_(shared.maxRequestBytes * 2 + kReadChunk) {}

    void start() {
        net::dispatch(socket_.get_executor(), [self = shared_from_this()] {
            self->awaitRequest();
            self->watch();
        });
    }

  private:
    using Clock = std::chrono::steady_clock;

    void setDeadline(std::chrono::milliseconds from, std::optional<Dropped> reason) {
        deadline_ = Clock::now() + from;
        deadlineReason_ = reason;
    }

    void watch() {
        timer_.expires_at(std::min(deadline_, Clock::now() + shared_.shortestTimeout));
        timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (ec || self->closed_) {
                return;
            }
            if (Clock::now() < self->deadline_) {
                return self->watch();  // the deadline moved on meanwhile
            }
            self->abandon(self->deadlineReason_);
        });
    }

    void awaitRequest() {
        setDeadline(shared_.idleTimeout, Dropped::Timeout);
        awaitFirstBytes();
    }

    // Empty lines before a request are passed over, as some clients send one after a body.
    void awaitFirstBytes() {
        const auto* bytes = static_cast<const char*>(buffer_.data().data());
        std::size_t blank = 0;
        while (blank < buffer_.size() && (bytes[blank] == '\r' || bytes[blank] == '\n')) {
            ++blank;
        }
        buffer_.consume(blank);
        if (buffer_.size() > 0) {  // the client sent its next request already
            return startRequest();
        }
        socket_.async_read_some(buffer_.prepare(kReadChunk),
                                [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                    if (ec) {
                                        return self->abandon(std::nullopt);
                                    }
                                    self->buffer_.commit(n);
                                    self->awaitFirstBytes();
                                });
    }

    void startRequest() {
        if (!mayStartRequest(*static_cast<const char*>(buffer_.data().data()))) {
            return abandon(Dropped::NotHttp);
        }
        setDeadline(shared_.requestTimeout, Dropped::Timeout);
        parser_.emplace();
        parser_->eager(true);
        parser_->header_limit(std::uint32_t(shared_.maxRequestBytes));
        parser_->body_limit(shared_.maxRequestBytes);
        parseBuffered();
    }

    // Beast's parser takes what has arrived; more is read only while it needs more. A request
    // that arrived whole (nearly all do) is parsed without another trip through the reactor.
    void parseBuffered() {
        beast::error_code ec;
        while (buffer_.size() > 0 && !parser_->is_done()) {
            const std::size_t used = parser_->put(buffer_.data(), ec);
            buffer_.consume(used);
            if (ec == http::error::need_more) {
                ec = {};
                break;
            }
            if (ec) {
                return onUnreadable(ec);
            }
        }
        if (parser_->is_done()) {
            return onRequest();
        }
        if (buffer_.size() >= buffer_.max_size()) {
            return onUnreadable(http::error::buffer_overflow);
        }
        const std::size_t room = std::min(kReadChunk, buffer_.max_size() - buffer_.size());
        socket_.async_read_some(buffer_.prepare(room), [self = shared_from_this()](
                                                           beast::error_code ec, std::size_t n) {
            if (ec) {
                return self->abandon(std::nullopt);  // gone, or cut by the deadline
            }
            self->buffer_.commit(n);
            self->parseBuffered();
        });
    }

    void onRequest() {
        const Request& request = parser_->get();
        if (!framedUnambiguously(request)) {
            return refuse(Dropped::Malformed, shared_.canned.malformed, 400);
        }
        HttpRequest asked = httpRequestOf(request, peer_);
        parser_.reset();
        // The answer may wait for a game server's query, which has its own time limits.
        setDeadline(std::max(kAnswerLimit, shared_.requestTimeout), Dropped::Timeout);
        // Answered on this thread, the answer is written at once; from another, it is queued here.
        HttpReply reply = [self = shared_from_this()](QByteArray bytes, bool close) {
            net::dispatch(self->socket_.get_executor(),
                          [self, bytes = std::move(bytes), close]() mutable {
                              self->write(std::move(bytes), close);
                          });
        };
        shared_.handler(std::move(asked), std::move(reply));
    }

    void onUnreadable(beast::error_code ec) {
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
            return refuse(Dropped::Oversized, shared_.canned.headersTooLarge, 431);
        }
        if (ec == http::error::body_limit) {
            return refuse(Dropped::Oversized, shared_.canned.contentTooLarge, 413);
        }
        refuse(Dropped::Malformed, shared_.canned.malformed, 400);
    }

    void refuse(Dropped reason, const QByteArray& answer, int status) {
        shared_.metrics.countDropped(reason);
        shared_.metrics.countRequest(GatewayMetrics::Endpoint::Other, status);
        write(answer, true);
    }

    void write(QByteArray bytes, bool close) {
        if (closed_) {
            return;
        }
        pending_ = std::move(bytes);
        closeAfter_ = close;
        setDeadline(shared_.requestTimeout, Dropped::Unread);
        net::async_write(socket_, net::buffer(pending_.constData(), std::size_t(pending_.size())),
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             self->onWritten(ec);
                         });
    }

    void onWritten(beast::error_code ec) {
        pending_.clear();
        if (ec) {
            return abandon(std::nullopt);
        }
        if (closeAfter_) {
            return closeGracefully();
        }
        awaitRequest();
    }

    // What was written still reaches a client that keeps sending: its bytes are read away for a
    // moment, instead of a reset that could destroy the answer on its way.
    void closeGracefully() {
        beast::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_send, ignored);
        setDeadline(std::min(kLingerLimit, shared_.requestTimeout), std::nullopt);
        drain();
    }

    void drain() {
        buffer_.clear();
        socket_.async_read_some(buffer_.prepare(kReadChunk),
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    if (ec) {
                                        return self->abandon(std::nullopt);
                                    }
                                    self->drain();
                                });
    }

    void abandon(std::optional<Dropped> reason) {
        if (closed_) {
            return;
        }
        closed_ = true;
        if (reason) {
            shared_.metrics.countDropped(*reason);
        }
        beast::error_code ignored;
        timer_.cancel();
        socket_.close(ignored);
    }

    tcp::socket socket_;
    net::steady_timer timer_;
    Clock::time_point deadline_;
    std::optional<Dropped> deadlineReason_;
    bool closed_ = false;
    const Shared& shared_;
    std::unique_ptr<ConnectionGuard::Ticket> ticket_;
    QHostAddress peer_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    QByteArray pending_;
    bool closeAfter_ = false;
};

}  // namespace

struct HttpListener::Impl {
    Impl(ConnectionGuard& guard, GatewayMetrics& metrics, CannedAnswers canned, HttpHandler handler)
        : shared{
              guard,
              metrics,
              std::move(canned),
              std::move(handler),
              std::chrono::milliseconds(guard.limits().idleTimeoutMs),
              std::chrono::milliseconds(guard.limits().requestTimeoutMs),
              std::min({std::chrono::milliseconds(guard.limits().idleTimeoutMs),
                        std::chrono::milliseconds(guard.limits().requestTimeoutMs), kLingerLimit}),
              std::size_t(guard.limits().maxRequestBytes)} {}

    void accept() {
        acceptor.async_accept(net::make_strand(io), [this](beast::error_code ec, tcp::socket s) {
            if (ec == net::error::operation_aborted) {
                return;
            }
            if (ec) {  // out of descriptors, say: try again shortly rather than spin
                retry.expires_after(kAcceptRetry);
                retry.async_wait([this](beast::error_code) { accept(); });
                return;
            }
            admit(std::move(s));
            accept();
        });
    }

    // A handler that throws (out of memory, say) loses its connection, not the thread.
    void run() {
        for (;;) {
            try {
                io.run();
                return;
            } catch (const std::exception&) {
            }
        }
    }

    void admit(tcp::socket socket) {
        beast::error_code ec;
        const tcp::endpoint peer = socket.remote_endpoint(ec);
        if (ec) {
            return;
        }
        auto ticket = shared.guard.admit(guardAddressOf(peer.address()));
        if (!ticket) {
            socket.close(ec);
            return;
        }
        socket.set_option(tcp::no_delay(true), ec);  // each answer leaves in one write
        std::make_shared<Session>(std::move(socket), shared, std::move(ticket),
                                  qtAddressOf(peer.address()))
            ->start();
    }

    Shared shared;
    net::io_context io;
    tcp::acceptor acceptor{io};
    net::steady_timer retry{io};
    std::optional<net::executor_work_guard<net::io_context::executor_type>> work;
    std::vector<std::thread> threads;
};

HttpListener::HttpListener(ConnectionGuard& guard, GatewayMetrics& metrics, CannedAnswers canned,
                           HttpHandler handler)
    : impl_(std::make_unique<Impl>(guard, metrics, std::move(canned), std::move(handler))) {}

HttpListener::~HttpListener() {
    stop();
}

std::variant<quint16, QString> HttpListener::listen(const QHostAddress& address, quint16 port,
                                                    int backlog, int threads) {
    beast::error_code ec;
    const net::ip::address ip = net::ip::make_address(address.toString().toStdString(), ec);
    const tcp::endpoint endpoint(ip, port);
    tcp::acceptor& acceptor = impl_->acceptor;
    if (!ec)
        acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        acceptor.bind(endpoint, ec);
    if (!ec)
        acceptor.listen(backlog, ec);
    if (ec) {
        acceptor.close(ec);
        return QString::fromStdString(ec.message());
    }
    impl_->accept();
    impl_->work.emplace(impl_->io.get_executor());
    for (int i = 0; i < std::max(1, threads); ++i) {
        impl_->threads.emplace_back([this] { impl_->run(); });
    }
    return acceptor.local_endpoint().port();
}

void HttpListener::stop() {
    impl_->work.reset();
    impl_->io.stop();
    for (std::thread& thread : impl_->threads) {
        thread.join();
    }
    impl_->threads.clear();
}

}  // namespace tamarin::gateway
