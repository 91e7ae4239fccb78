#include "serverquery/udpsocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tamarin {

namespace {

// The largest payload a UDP datagram can carry.
constexpr qsizetype kLargestDatagram = 65536;

ConnectedUdpSocket::Trouble troubleOf(int error) {
    switch (error) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
            return ConnectedUdpSocket::Trouble::None;
        case ECONNREFUSED:
            return ConnectedUdpSocket::Trouble::PortClosed;
        default:
            return ConnectedUdpSocket::Trouble::Unreachable;
    }
}

}  // namespace

ConnectedUdpSocket::ConnectedUdpSocket(QObject* parent) : QObject(parent) {}

ConnectedUdpSocket::~ConnectedUdpSocket() {
    delete notifier_;  // before the descriptor it watches is closed
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool ConnectedUdpSocket::connectTo(const Endpoint& server) {
    if (descriptor_ >= 0) {
        return false;  // one server per socket
    }
    const auto* address = reinterpret_cast<const sockaddr*>(&server.address);
    const int descriptor =
        ::socket(address->sa_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return false;
    }
    if (::connect(descriptor, address, server.length) != 0) {
        ::close(descriptor);
        return false;
    }
    descriptor_ = descriptor;
    notifier_ = new QSocketNotifier(qintptr(descriptor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ConnectedUdpSocket::readyRead);
    return true;
}

ConnectedUdpSocket::Trouble ConnectedUdpSocket::send(const QByteArray& datagram) {
    if (descriptor_ < 0) {
        return Trouble::None;
    }
    ssize_t sent = -1;
    do {
        sent = ::send(descriptor_, datagram.constData(), size_t(datagram.size()), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 && errno == ECONNREFUSED ? Trouble::PortClosed : Trouble::None;
}

std::optional<QByteArray> ConnectedUdpSocket::receive(Trouble& trouble) {
    trouble = Trouble::None;
    if (descriptor_ < 0) {
        return std::nullopt;
    }
    if (buffer_.isEmpty()) {
        buffer_.resize(kLargestDatagram);
    }
    ssize_t got = -1;
    do {
        got = ::recv(descriptor_, buffer_.data(), size_t(buffer_.size()), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        trouble = troubleOf(errno);
        return std::nullopt;
    }
    return QByteArray(buffer_.constData(), qsizetype(got));
}

}  // namespace tamarin
