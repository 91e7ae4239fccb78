#pragma once

#include <QHostAddress>

namespace tamarin::gateway {

// True for an address that belongs to the public internet. Loopback, private (10/8, 172.16/12,
// 192.168/16, fc00::/7), link-local, multicast, unspecified, carrier-grade NAT (100.64/10) and
// reserved addresses, the benchmarking range (198.18/15) and the translation prefixes a local
// network may route anywhere (SIIT, a site's own NAT64, Teredo) are not: a host name that resolves
// to one of them would turn the gateway into a probe of the network it runs in. IPv6 forms that
// carry an IPv4 address (mapped, compatible, NAT64, 6to4) are judged by that address.
bool isPublicAddress(const QHostAddress& address);

}  // namespace tamarin::gateway
