#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "serverquery/gametypes.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

// One asynchronous status query of a game server over UDP (or TCP, for a protocol spoken there), on
// the caller's event loop and never blocking it (a host name is looked up on a thread of its own).
// Replies from any address or port other than the one queried are ignored. A request that gets no
// reply is sent again twice within the timeout, so one lost datagram (a busy server's rate limit, a
// lossy network) costs a little time, not the answer. A numeric IPv6 address may be given in
// brackets ("[::1]").
class ServerQuery : public QObject {
    Q_OBJECT

  public:
    explicit ServerQuery(QObject* parent = nullptr);
    ~ServerQuery() override;

    // Starts a query (cancelling one that runs). Emits finished exactly once per started query
    // that is not cancelled: Online with the parsed status, NotAnswering after the timeout,
    // Refused at once when the port is closed, BadAddress when the host cannot be resolved.
    // `hostAsTyped`, when the host is an address found for it, is the name a protocol that names
    // its server in the request (Minecraft's handshake) puts there.
    void start(const QString& host, quint16 port, QueryProtocol protocol,
               const QString& hostAsTyped = {});
    void cancel();
    bool isRunning() const;

    void setTimeoutMs(int ms);  // default about 1500 ms
    int timeoutMs() const;

  signals:
    void finished(const tamarin::ServerStatus& status);
    // Every datagram sent to the server, resends included: what the network sees.
    void datagramSent();

  private:
    struct Private;
    std::unique_ptr<Private> d_;
};

}  // namespace tamarin
