#include "serverquery/hostlookup.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <QPromise>
#include <QUrl>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>

namespace tamarin {

namespace {

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// Lookups still running, abandoned ones included, one per name and port: asking again for a name
// whose lookup still runs joins it, so a name server that never answers holds one thread per
// name, however often refreshes ask, and names it does not serve are looked up beside it.
// Past this many names at once, a query waits for its own deadline instead.
constexpr int kMostNamesAtOnce = 64;

using LookupKey = std::tuple<QByteArray, quint16, QByteArray>;  // name, port, service

struct RunningLookups {
    std::mutex mutex;
    std::map<LookupKey, QFuture<std::optional<Endpoint>>> byName;
};

struct ServiceNameServer {
    std::mutex mutex;
    std::optional<sockaddr_in> address;
};

ServiceNameServer& serviceNameServer() {
    static auto* server = new ServiceNameServer;
    return *server;
}

// The best of the service records in a DNS answer: the lowest priority, then the greatest weight.
std::optional<ServiceTarget> bestServiceRecord(const unsigned char* answer, int length) {
    ns_msg message;
    if (::ns_initparse(answer, length, &message) != 0) {
        return std::nullopt;
    }
    std::optional<ServiceTarget> best;
    std::pair<int, int> bestRank{INT_MAX, 0};
    for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
        ns_rr record;
        if (::ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv ||
            ns_rr_rdlen(record) < 7) {
            continue;
        }
        const unsigned char* data = ns_rr_rdata(record);
        const int priority = ns_get16(data), weight = ns_get16(data + 2);
        char target[NS_MAXDNAME];
        if (::dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target,
                        sizeof target) < 0 ||
            std::pair(priority, -weight) >= std::pair(bestRank.first, -bestRank.second)) {
            continue;
        }
        bestRank = {priority, weight};
        best = ServiceTarget{QByteArray(target), quint16(ns_get16(data + 4))};
    }
    // "." names no target: the service is declared unavailable there.
    return best && !best->target.isEmpty() && best->target != "." ? best : std::nullopt;
}

std::optional<Endpoint> resolveService(const QByteArray& name, quint16 port,
                                       const QByteArray& service, const Resolver& resolver) {
    if (!service.isEmpty()) {
        if (const std::optional<ServiceTarget> found = lookUpService(service + '.' + name)) {
            return resolver(found->target, found->port);
        }
    }
    return resolver(name, port);
}

RunningLookups& runningLookups() {
    // Never destroyed: a detached lookup may end after the program has begun to exit.
    static auto* running = new RunningLookups;
    return *running;
}

Resolver& resolverInUse() {
    static Resolver resolver = resolveName;
    return resolver;
}

// IPv4 first: a game server's name usually points at one, and many listen only there.
const addrinfo* preferredAddress(const addrinfo* list) {
    const addrinfo* firstIpv6 = nullptr;
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            return entry;
        }
        if (entry->ai_family == AF_INET6 && firstIpv6 == nullptr) {
            firstIpv6 = entry;
        }
    }
    return firstIpv6;
}

std::optional<Endpoint> resolve(const QByteArray& host, quint16 port, int flags) {
    // A NUL inside the text would cut the name short for the resolver, which would then answer
    // for a different host than the one typed.
    if (host.isEmpty() || host.contains('\0')) {
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    const QByteArray service = QByteArray::number(port);
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0) {
        return std::nullopt;
    }
    const AddressList list(found, &::freeaddrinfo);
    const addrinfo* chosen = preferredAddress(found);
    if (chosen == nullptr || chosen->ai_addrlen > sizeof(Endpoint::address)) {
        return std::nullopt;
    }
    Endpoint endpoint;
    std::memcpy(&endpoint.address, chosen->ai_addr, chosen->ai_addrlen);
    endpoint.length = chosen->ai_addrlen;
    return endpoint;
}

}  // namespace

quint16 endpointPort(const Endpoint& endpoint) {
    switch (endpoint.address.ss_family) {
        case AF_INET:
            return ntohs(reinterpret_cast<const sockaddr_in*>(&endpoint.address)->sin_port);
        case AF_INET6:
            return ntohs(reinterpret_cast<const sockaddr_in6*>(&endpoint.address)->sin6_port);
        default:
            return 0;
    }
}

std::optional<Endpoint> numericEndpoint(const QString& host, quint16 port) {
    const QByteArray text = host.toUtf8();
    // getaddrinfo also reads inet_aton's shorthand ("127.1", "0x7f.1", "24567" for 0.0.95.247):
    // an IPv4 address is the four dotted decimals, nothing else.
    in_addr v4{};
    if (!text.contains(':') && ::inet_pton(AF_INET, text.constData(), &v4) != 1) {
        return std::nullopt;
    }
    return resolve(text, port, AI_NUMERICHOST);
}

std::optional<Endpoint> resolveName(const QByteArray& name, quint16 port) {
    return resolve(name, port, 0);
}

void setResolverForTesting(Resolver resolver) {
    resolverInUse() = std::move(resolver);
}

std::optional<ServiceTarget> lookUpService(const QByteArray& recordName) {
    if (recordName.isEmpty() || recordName.contains('\0')) {
        return std::nullopt;
    }
    struct __res_state state {};
    if (::res_ninit(&state) != 0) {
        return std::nullopt;
    }
    {
        ServiceNameServer& server = serviceNameServer();
        const std::lock_guard lock(server.mutex);
        if (server.address) {
            state.nsaddr_list[0] = *server.address;
            state.nscount = 1;
        }
    }
    unsigned char answer[NS_PACKETSZ * 4];
    const int length =
        ::res_nquery(&state, recordName.constData(), ns_c_in, ns_t_srv, answer, sizeof answer);
    std::optional<ServiceTarget> found =
        length > 0 ? bestServiceRecord(answer, std::min<int>(length, sizeof answer)) : std::nullopt;
    ::res_nclose(&state);
    return found;
}

void setServiceNameServerForTesting(const QByteArray& ipv4, quint16 port) {
    ServiceNameServer& server = serviceNameServer();
    const std::lock_guard lock(server.mutex);
    server.address.reset();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (port != 0 && ::inet_pton(AF_INET, ipv4.constData(), &address.sin_addr) == 1) {
        server.address = address;
    }
}

QFuture<std::optional<Endpoint>> lookUpEndpoint(const QString& host, quint16 port,
                                                const QByteArray& service) {
    // International names go to the resolver in their ASCII form.
    const LookupKey key{QUrl::toAce(host), port, service};
    RunningLookups& running = runningLookups();
    const std::lock_guard lock(running.mutex);
    if (const auto joined = running.byName.find(key); joined != running.byName.end()) {
        return joined->second;
    }
    QPromise<std::optional<Endpoint>> promise;
    QFuture<std::optional<Endpoint>> future = promise.future();
    promise.start();
    if (int(running.byName.size()) >= kMostNamesAtOnce) {
        promise.finish();  // without a result
        return future;
    }
    auto lookUp = [promise = std::move(promise), key, resolver = resolverInUse()]() mutable {
        const auto& [name, port, service] = key;
        const std::optional<Endpoint> found = resolveService(name, port, service, resolver);
        RunningLookups& running = runningLookups();
        const std::lock_guard lock(running.mutex);
        running.byName.erase(key);
        promise.addResult(found);
        promise.finish();
    };
    try {
        // Detached: a slow name server must never hold up the window's closing.
        std::thread(std::move(lookUp)).detach();
        running.byName.emplace(key, future);
    } catch (const std::system_error&) {
        // No thread to be had: the promise went with the lambda, so the future ends without a
        // result.
    }
    return future;
}

}  // namespace tamarin
