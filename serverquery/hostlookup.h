#pragma once

#include <sys/socket.h>

#include <QFuture>
#include <QString>
#include <functional>
#include <optional>

namespace tamarin {

// A server's address and port in the form the system's sockets take.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// The endpoint of a host written as a numeric IPv4 or IPv6 address, found without asking any name
// server; nothing when the host is not such an address.
std::optional<Endpoint> numericEndpoint(const QString& host, quint16 port);

// The system's resolver, and the one lookups use (tests put one of their own in its place).
using Resolver = std::function<std::optional<Endpoint>(const QByteArray& asciiName, quint16 port)>;
std::optional<Endpoint> resolveName(const QByteArray& asciiName, quint16 port);
void setResolverForTesting(Resolver resolver);

// Looks a host name up on a thread of its own, so the event loop never waits on a name server.
// The future's one result is the endpoint, or nothing when the name is unknown; a future that ends
// without a result means the lookup could not be started (no thread to be had, or too many names
// still waiting on their name servers). A lookup of a name whose lookup still runs shares that
// one's future. Dropping the future drops the result: the lookup runs to its end and is forgotten.
QFuture<std::optional<Endpoint>> lookUpEndpoint(const QString& host, quint16 port);

}  // namespace tamarin
