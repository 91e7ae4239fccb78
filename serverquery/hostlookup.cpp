#include "serverquery/hostlookup.h"

#include <netdb.h>

#include <QPromise>
#include <QUrl>
#include <atomic>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace tamarin {

namespace {

using AddressList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// Lookups still running, abandoned ones included. A name server that never answers keeps each one
// for its whole timeout while refreshes go on asking; past this many, a query waits for its own
// deadline instead of starting yet another thread.
constexpr int kMostLookupsAtOnce = 8;
std::atomic<int> lookupsRunning{0};

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

QFuture<std::optional<Endpoint>> lookUpEndpoint(const QString& host, quint16 port) {
    QPromise<std::optional<Endpoint>> promise;
    QFuture<std::optional<Endpoint>> future = promise.future();
    promise.start();
    if (lookupsRunning.fetch_add(1) >= kMostLookupsAtOnce) {
        lookupsRunning.fetch_sub(1);
        promise.finish();  // without a result
        return future;
    }
    // International names go to the resolver in their ASCII form.
    auto lookUp = [promise = std::move(promise), name = QUrl::toAce(host), port]() mutable {
        promise.addResult(resolve(name, port, 0));
        promise.finish();
        lookupsRunning.fetch_sub(1);
    };
    try {
        // Detached: a slow name server must never hold up the window's closing.
        std::thread(std::move(lookUp)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the promise went with the lambda, so the future ends without a
        // result.
        lookupsRunning.fetch_sub(1);
    }
    return future;
}

}  // namespace tamarin
