#include "serverquery/hostlookup.h"

#include <netdb.h>

#include <QPromise>
#include <QUrl>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace tamarin {

namespace {

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// Lookups still running, abandoned ones included, one per name and port: asking again for a name
// whose lookup still runs joins it, so a name server that never answers holds one thread per
// name, however often refreshes ask, and names it does not serve are looked up beside it.
// Past this many names at once, a query waits for its own deadline instead.
constexpr int kMostNamesAtOnce = 64;

struct RunningLookups {
    std::mutex mutex;
    std::map<std::pair<QByteArray, quint16>, QFuture<std::optional<Endpoint>>> byName;
};

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

std::optional<Endpoint> numericEndpoint(const QString& host, quint16 port) {
    return resolve(host.toUtf8(), port, AI_NUMERICHOST);
}

std::optional<Endpoint> resolveName(const QByteArray& name, quint16 port) {
    return resolve(name, port, 0);
}

void setResolverForTesting(Resolver resolver) {
    resolverInUse() = std::move(resolver);
}

QFuture<std::optional<Endpoint>> lookUpEndpoint(const QString& host, quint16 port) {
    // International names go to the resolver in their ASCII form.
    const std::pair key{QUrl::toAce(host), port};
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
        const std::optional<Endpoint> found = resolver(key.first, key.second);
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
