#include "gateway/addresspolicy.h"

#include <array>

namespace tamarin::gateway {

namespace {

struct Ipv4Range {
    quint32 base;
    int prefix;
};

constexpr std::array kNonPublicIpv4{
    Ipv4Range{0x00000000, 8},   // "this network", includes the unspecified address
    Ipv4Range{0x0A000000, 8},   // private
    Ipv4Range{0x64400000, 10},  // carrier-grade NAT
    Ipv4Range{0x7F000000, 8},   // loopback
    Ipv4Range{0xA9FE0000, 16},  // link-local
    Ipv4Range{0xAC100000, 12},  // private
    Ipv4Range{0xC6120000, 15},  // benchmarking, which labs route as they please
    Ipv4Range{0xC0A80000, 16},  // private
    Ipv4Range{0xE0000000, 4},   // multicast
    Ipv4Range{0xF0000000, 4},   // reserved, includes broadcast
};

bool isPublicIpv4(quint32 ip) {
    for (const Ipv4Range& range : kNonPublicIpv4) {
        const quint32 mask = ~quint32(0) << (32 - range.prefix);
        if ((ip & mask) == range.base) {
            return false;
        }
    }
    return true;
}

quint32 ipv4At(const Q_IPV6ADDR& a, int offset) {
    return quint32(a[offset]) << 24 | quint32(a[offset + 1]) << 16 | quint32(a[offset + 2]) << 8 |
           quint32(a[offset + 3]);
}

bool allZero(const Q_IPV6ADDR& a, int from, int to) {
    for (int i = from; i < to; ++i) {
        if (a[i] != 0) {
            return false;
        }
    }
    return true;
}

// The IPv4 address an IPv6 address stands for, if it is one of the forms that embed one.
std::optional<quint32> embeddedIpv4(const Q_IPV6ADDR& a) {
    if (allZero(a, 0, 10) && a[10] == 0xFF && a[11] == 0xFF) {
        return ipv4At(a, 12);  // ::ffff:a.b.c.d
    }
    if (allZero(a, 0, 12)) {
        return ipv4At(a, 12);  // ::a.b.c.d, and :: and ::1 (both judged non-public below)
    }
    if (a[0] == 0x00 && a[1] == 0x64 && a[2] == 0xFF && a[3] == 0x9B && allZero(a, 4, 12)) {
        return ipv4At(a, 12);  // 64:ff9b::a.b.c.d
    }
    if (a[0] == 0x20 && a[1] == 0x02) {
        return ipv4At(a, 2);  // 2002:aabb:ccdd::
    }
    return std::nullopt;
}

// Translation and tunnel prefixes that lead wherever the local network's translator or relay
// sends them: SIIT (::ffff:0:a.b.c.d), a site's own NAT64 (64:ff9b:1::/48) and Teredo
// (2001::/32), whose embedded address is the relay's choice, not the target.
bool isSpecialTranslation(const Q_IPV6ADDR& a) {
    const bool siit = allZero(a, 0, 8) && a[8] == 0xFF && a[9] == 0xFF && a[10] == 0 && a[11] == 0;
    const bool localNat64 = a[0] == 0x00 && a[1] == 0x64 && a[2] == 0xFF && a[3] == 0x9B &&
                            a[4] == 0x00 && a[5] == 0x01;
    const bool teredo = a[0] == 0x20 && a[1] == 0x01 && a[2] == 0x00 && a[3] == 0x00;
    return siit || localNat64 || teredo;
}

bool isPublicIpv6(const Q_IPV6ADDR& a) {
    if (allZero(a, 0, 15) && a[15] <= 1) {
        return false;  // :: and ::1
    }
    if (const std::optional<quint32> ipv4 = embeddedIpv4(a)) {
        return isPublicIpv4(*ipv4);
    }
    if (isSpecialTranslation(a)) {
        return false;
    }
    const bool uniqueLocal = (a[0] & 0xFE) == 0xFC;
    const bool linkOrSiteLocal = a[0] == 0xFE && (a[1] & 0x80) == 0x80;  // fe80::/10, fec0::/10
    const bool multicast = a[0] == 0xFF;
    return !uniqueLocal && !linkOrSiteLocal && !multicast;
}

}  // namespace

bool isPublicAddress(const QHostAddress& address) {
    switch (address.protocol()) {
        case QAbstractSocket::IPv4Protocol:
            return isPublicIpv4(address.toIPv4Address());
        case QAbstractSocket::IPv6Protocol:
            return isPublicIpv6(address.toIPv6Address());
        default:
            return false;
    }
}

}  // namespace tamarin::gateway
