#pragma once

#include <sys/socket.h>

#include <QByteArray>
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

// The port of an endpoint, in host order.
quint16 endpointPort(const Endpoint& endpoint);

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
//
// With a `service` ("_minecraft._tcp"), the name's service record is asked for first, as the
// game's own client does: its target and port are then the endpoint (the lowest priority, then
// the greatest weight), and without one the name and port are.
QFuture<std::optional<Endpoint>> lookUpEndpoint(const QString& host, quint16 port,
                                                const QByteArray& service = {});

// The target and port of the service record of `recordName` ("_minecraft._tcp.example.org"):
// nothing when there is none or the answer is unreadable.
struct ServiceTarget {
    QByteArray target;
    quint16 port = 0;
};
std::optional<ServiceTarget> lookUpService(const QByteArray& recordName);
// Tests point service lookups at a name server of their own (IPv4, any port); a port of 0 goes
// back to the system's.
void setServiceNameServerForTesting(const QByteArray& ipv4, quint16 port);

}  // namespace tamarin
