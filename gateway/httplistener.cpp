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
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
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

// Closing: what was written still reaches a client that keeps sending, because its bytes are
// read away for a moment instead of being answered with a reset.
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

// A request starts with its method, a token, or with the empty lines some clients send between
// requests. Anything else (a TLS handshake sent to the plain port, say) is no HTTP and will never
// become a request: closing at once beats holding the connection for the request timeout.
bool mayStartRequest(char first) {
    const auto c = static_cast<unsigned char>(first);
    return std::isalnum(c) || (c != 0 && std::strchr("!#$%&'*+-.^_`|~\r\n", c) != nullptr);
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
    std::size_t maxRequestBytes;
};

// One client connection: waits for a request, reads it whole, hands it over, writes the answer,
// and only then waits for the next.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(tcp::socket socket, const Shared& shared,
            std::unique_ptr<ConnectionGuard::Ticket> ticket, QHostAddress peer)
        : stream_(std::move(socket)),
          shared_(shared),
          ticket_(std::move(ticket)),
          peer_(std::move(peer)),
          buffer_(shared.maxRequestBytes * 2 + kReadChunk) {}

    void start() {
        net::dispatch(stream_.get_executor(),
                      [self = shared_from_this()] { self->awaitRequest(); });
    }

  private:
    void awaitRequest() {
        if (buffer_.size() > 0) {  // the client sent its next request already
            onFirstBytes({}, 0);
            return;
        }
        stream_.expires_after(shared_.idleTimeout);
        stream_.async_read_some(buffer_.prepare(kReadChunk),
                                [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                    self->onFirstBytes(ec, n);
                                });
    }

    void onFirstBytes(beast::error_code ec, std::size_t n) {
        if (ec) {
            return abandon(ec == beast::error::timeout ? std::optional(Dropped::Timeout)
                                                       : std::nullopt);
        }
        buffer_.commit(n);
        if (!mayStartRequest(*static_cast<const char*>(buffer_.data().data()))) {
            return abandon(Dropped::NotHttp);
        }
        readRequest();
    }

    void readRequest() {
        parser_.emplace();
        parser_->header_limit(std::uint32_t(shared_.maxRequestBytes));
        parser_->body_limit(shared_.maxRequestBytes);
        stream_.expires_after(shared_.requestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             self->onRequest(ec);
                         });
    }

    void onRequest(beast::error_code ec) {
        if (ec) {
            return onUnreadable(ec);
        }
        const Request& request = parser_->get();
        if (!framedUnambiguously(request)) {
            return refuse(Dropped::Malformed, shared_.canned.malformed, 400);
        }
        HttpReply reply = [self = shared_from_this()](QByteArray bytes, bool close) {
            net::post(self->stream_.get_executor(),
                      [self, bytes = std::move(bytes), close]() mutable {
                          self->write(std::move(bytes), close);
                      });
        };
        shared_.handler(httpRequestOf(request, peer_), std::move(reply));
        parser_.reset();
    }

    void onUnreadable(beast::error_code ec) {
        if (ec == beast::error::timeout) {
            return abandon(Dropped::Timeout);
        }
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
            return refuse(Dropped::Oversized, shared_.canned.headersTooLarge, 431);
        }
        if (ec == http::error::body_limit) {
            return refuse(Dropped::Oversized, shared_.canned.contentTooLarge, 413);
        }
        if (ec.category() == http::make_error_code(http::error::bad_version).category() &&
            ec != http::error::end_of_stream && ec != http::error::partial_message) {
            return refuse(Dropped::Malformed, shared_.canned.malformed, 400);
        }
        abandon(std::nullopt);  // the client went away
    }

    void refuse(Dropped reason, const QByteArray& answer, int status) {
        shared_.metrics.countDropped(reason);
        shared_.metrics.countRequest(GatewayMetrics::Endpoint::Other, status);
        write(answer, true);
    }

    void write(QByteArray bytes, bool close) {
        pending_ = std::move(bytes);
        closeAfter_ = close;
        stream_.expires_after(shared_.requestTimeout);
        net::async_write(stream_, net::buffer(pending_.constData(), std::size_t(pending_.size())),
                         [self = shared_from_this()](beast::error_code ec, std::size_t) {
                             self->onWritten(ec);
                         });
    }

    void onWritten(beast::error_code ec) {
        pending_.clear();
        if (ec) {
            return abandon(ec == beast::error::timeout ? std::optional(Dropped::Unread)
                                                       : std::nullopt);
        }
        if (closeAfter_) {
            return closeGracefully();
        }
        awaitRequest();
    }

    void closeGracefully() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::min(kLingerLimit, shared_.requestTimeout));
        drain();
    }

    void drain() {
        buffer_.clear();
        stream_.async_read_some(buffer_.prepare(kReadChunk),
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    if (ec) {
                                        self->stream_.close();
                                    } else {
                                        self->drain();
                                    }
                                });
    }

    void abandon(std::optional<Dropped> reason) {
        if (reason) {
            shared_.metrics.countDropped(*reason);
        }
        stream_.close();
    }

    beast::tcp_stream stream_;
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
        : shared{guard,
                 metrics,
                 std::move(canned),
                 std::move(handler),
                 std::chrono::milliseconds(guard.limits().idleTimeoutMs),
                 std::chrono::milliseconds(guard.limits().requestTimeoutMs),
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
        impl_->threads.emplace_back([this] { impl_->io.run(); });
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
