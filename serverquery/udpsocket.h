#pragma once

#include <QByteArray>
#include <QObject>
#include <optional>

#include "serverquery/hostlookup.h"

class QSocketNotifier;

namespace tamarin {

// A UDP socket connected to one server, watched by the event loop and never blocking. Being
// connected, it is handed only datagrams from that server's address and port, and the system
// reports a closed port (the server's ICMP reply) as an error on it, which an unconnected socket
// never hears of.
class ConnectedUdpSocket : public QObject {
    Q_OBJECT

  public:
    enum class Trouble { None, PortClosed, Unreachable };

    explicit ConnectedUdpSocket(QObject* parent = nullptr);
    ~ConnectedUdpSocket() override;

    // False when the system would not give a socket for that address (no route to its network,
    // no descriptors left).
    bool connectTo(const Endpoint& server);
    // Sends one datagram. Only a closed port is reported: a full buffer or a network that is
    // briefly down may pass, and the caller's deadline decides.
    Trouble send(const QByteArray& datagram);
    // Takes the next waiting datagram; nothing when none waits or when the system has reported
    // trouble, which `trouble` then says.
    std::optional<QByteArray> receive(Trouble& trouble);

  signals:
    // A datagram or a reported error waits.
    void readyRead();

  private:
    int descriptor_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QByteArray buffer_;
};

}  // namespace tamarin
