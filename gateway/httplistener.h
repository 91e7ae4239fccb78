#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <functional>
#include <memory>
#include <variant>

#include "gateway/connectionguard.h"
#include "gateway/metrics.h"

namespace tamarin::gateway {

// One request as the gateway routes it: what the HTTP parser read, reduced to what answers need.
struct HttpRequest {
    bool isGet = false;
    QByteArray path;   // as sent, before any '?'
    QByteArray query;  // after the '?', still percent-encoded
    QByteArray origin;
    QByteArray ifNoneMatch;
    QByteArray forwardedFor;
    QHostAddress peer;
    bool keepAlive = true;  // HTTP/1.1 unless "close"; HTTP/1.0 only with "keep-alive"
    bool http10 = false;
};

// Writes one whole answer (status line to body) on the connection its request came on, callable
// from any thread, once; `close` closes the connection after the answer is written.
using HttpReply = std::function<void(QByteArray bytes, bool close)>;
// Called on an HTTP thread for each request; the connection reads nothing more until the reply.
using HttpHandler = std::function<void(HttpRequest request, HttpReply reply)>;

// Answers written by the HTTP threads themselves, for requests that never reach the handler.
struct CannedAnswers {
    QByteArray malformed;        // 400: no unambiguous request can be read
    QByteArray headersTooLarge;  // 431
    QByteArray contentTooLarge;  // 413
};

// The gateway's HTTP side on its own threads: Boost.Beast parses, the limits here decide who
// may connect and how long anything may take. Each connection has one request at a time: the
// next is read only once the answer is written, so a client that never reads holds one answer,
// and is cut when that answer cannot be written within the request timeout.
class HttpListener {
  public:
    HttpListener(ConnectionGuard& guard, GatewayMetrics& metrics, CannedAnswers canned,
                 HttpHandler handler);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    // Listens and starts `threads` HTTP threads: the port listened on, or why it could not.
    std::variant<quint16, QString> listen(const QHostAddress& address, quint16 port, int backlog,
                                          int threads);
    // Stops the threads; replies made after this are dropped. The destructor stops too.
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tamarin::gateway
