#pragma once

#include <QByteArray>
#include <QObject>
#include <optional>

#include "serverquery/hostlookup.h"

class QSocketNotifier;

namespace tamarin {

// A socket connected to one server, watched by the event loop and never blocking.
//
// A datagram socket (UDP) is handed only datagrams from that server's address and port, and the
// system reports a closed port (the server's ICMP reply) as an error on it, which an unconnected
// socket never hears of.
//
// A stream socket (TCP) connects in the background: what is sent before the connection stands,
// or more than the system takes at once, waits here and goes out as the socket can take it. A
// refused connection is a closed port; the server closing its end is reported as Closed.
class ConnectedSocket : public QObject {
    Q_OBJECT

  public:
    enum class Kind { Datagram, Stream };
    enum class Trouble { None, PortClosed, Unreachable, Closed };

    explicit ConnectedSocket(QObject* parent = nullptr);
    ~ConnectedSocket() override;

    // False when the system would not give a socket for that address (no route to its network,
    // no descriptors left).
    bool connectTo(const Endpoint& server, Kind kind = Kind::Datagram);
    // Sends one datagram, or bytes on the stream. Only a closed port is reported at once: a full
    // buffer or a network that is briefly down may pass, and the caller's deadline decides.
    Trouble send(const QByteArray& bytes);
    // Takes the next waiting datagram, or the bytes that arrived on the stream; nothing when none
    // wait or when trouble was seen, which `trouble` then says.
    std::optional<QByteArray> receive(Trouble& trouble);

  signals:
    // Bytes or trouble wait.
    void readyRead();

  private:
    void onWritable();
    Trouble flush();

    int descriptor_ = -1;
    Kind kind_ = Kind::Datagram;
    bool connected_ = false;
    QSocketNotifier* notifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray buffer_;
    QByteArray unsent_;
    Trouble trouble_ = Trouble::None;  // seen while writing, told at the next receive
};

}  // namespace tamarin
