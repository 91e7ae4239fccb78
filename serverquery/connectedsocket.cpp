#include "serverquery/connectedsocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tamarin {

namespace {

// The largest payload a UDP datagram can carry; also the most read from a stream at once.
constexpr qsizetype kLargestDatagram = 65536;

ConnectedSocket::Trouble troubleOf(int error) {
    switch (error) {
        case 0:
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
            return ConnectedSocket::Trouble::None;
        case ECONNREFUSED:
            return ConnectedSocket::Trouble::PortClosed;
        default:
            return ConnectedSocket::Trouble::Unreachable;
    }
}

}  // namespace

ConnectedSocket::ConnectedSocket(QObject* parent) : QObject(parent) {}

ConnectedSocket::~ConnectedSocket() {
    delete notifier_;  // both before the descriptor they watch is closed
    delete writeNotifier_;
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool ConnectedSocket::connectTo(const Endpoint& server, Kind kind) {
    if (descriptor_ >= 0) {
        return false;  // one server per socket
    }
    const auto* address = reinterpret_cast<const sockaddr*>(&server.address);
    const int type = kind == Kind::Stream ? SOCK_STREAM : SOCK_DGRAM;
    const int descriptor = ::socket(address->sa_family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return false;
    }
    const int result = ::connect(descriptor, address, server.length);
    if (result != 0 && !(kind == Kind::Stream && errno == EINPROGRESS)) {
        ::close(descriptor);
        return false;
    }
    descriptor_ = descriptor;
    kind_ = kind;
    connected_ = result == 0;
    notifier_ = new QSocketNotifier(qintptr(descriptor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ConnectedSocket::readyRead);
    if (kind_ == Kind::Stream) {
        writeNotifier_ = new QSocketNotifier(qintptr(descriptor_), QSocketNotifier::Write, this);
        writeNotifier_->setEnabled(!connected_);
        connect(writeNotifier_, &QSocketNotifier::activated, this, &ConnectedSocket::onWritable);
    }
    return true;
}

ConnectedSocket::Trouble ConnectedSocket::send(const QByteArray& bytes) {
    if (descriptor_ < 0) {
        return Trouble::None;
    }
    if (kind_ == Kind::Stream) {
        unsent_.append(bytes);
        return flush();
    }
    ssize_t sent = -1;
    do {
        sent = ::send(descriptor_, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 && errno == ECONNREFUSED ? Trouble::PortClosed : Trouble::None;
}

// Writes what the stream takes now; the rest waits for the socket to be writable again.
ConnectedSocket::Trouble ConnectedSocket::flush() {
    while (connected_ && !unsent_.isEmpty()) {
        const ssize_t sent =
            ::send(descriptor_, unsent_.constData(), size_t(unsent_.size()), MSG_NOSIGNAL);
        if (sent < 0) {
            const Trouble trouble = troubleOf(errno);
            if (trouble != Trouble::None) {
                return trouble;
            }
            if (errno != EINTR) {
                break;  // full: wait until it is writable
            }
            continue;
        }
        unsent_.remove(0, qsizetype(sent));
    }
    writeNotifier_->setEnabled(!connected_ || !unsent_.isEmpty());
    return Trouble::None;
}

void ConnectedSocket::onWritable() {
    if (!connected_) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        trouble_ = troubleOf(error);
        connected_ = trouble_ == Trouble::None && error == 0;
    }
    if (trouble_ == Trouble::None) {
        trouble_ = flush();
    }
    if (trouble_ != Trouble::None) {
        writeNotifier_->setEnabled(false);
        emit readyRead();  // the reader hears of it
    }
}

std::optional<QByteArray> ConnectedSocket::receive(Trouble& trouble) {
    trouble = trouble_;
    if (descriptor_ < 0 || trouble != Trouble::None) {
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
    if (got == 0 && kind_ == Kind::Stream) {
        trouble = Trouble::Closed;  // the server closed its end: nothing more will come
        return std::nullopt;
    }
    return QByteArray(buffer_.constData(), qsizetype(got));
}

}  // namespace tamarin
