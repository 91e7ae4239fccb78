#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <optional>

#include "serverquery/gametypes.h"
#include "serverquery/serverstatus.h"

namespace tamarin {

// What to do after a datagram from the server: send a request (when not empty), and/or finish.
struct ConversationStep {
    QByteArray send;
    std::optional<ServerStatus> outcome;
    // Over a stream: send on a new connection to the same server, the old one being over.
    bool reconnect = false;
};

// One query's exchange with a server, without the network: which request goes first, how each
// reply moves it on, and what a timeout leaves. The socket side lives in ServerQuery.
class QueryConversation {
  public:
    virtual ~QueryConversation() = default;

    // True for a protocol spoken over a TCP connection rather than in UDP datagrams: then every
    // "datagram" is what arrived on the stream, in order, and requests are never sent twice.
    virtual bool overStream() const { return false; }
    virtual QByteArray firstRequest() = 0;
    // Every datagram that came from the queried address and port; unreadable ones change nothing.
    virtual ConversationStep onDatagram(QByteArrayView datagram) = 0;
    // The outcome when the time is up: what was learnt so far, or NotAnswering.
    virtual ServerStatus onTimeout() const = 0;
    // Over a stream, when the server closed the connection: by default, what was learnt so far.
    virtual ConversationStep onClosed() { return {{}, onTimeout()}; }
};

// A fresh conversation for the protocol with the server as typed (some protocols name it in their
// request); nullptr for QueryProtocol::None.
std::unique_ptr<QueryConversation> makeConversation(QueryProtocol protocol,
                                                    const QString& host = {}, quint16 port = 0);

// The service record to look a server's name up by first, for a protocol whose clients do
// ("_minecraft._tcp" for Minecraft: Java Edition at its default port); empty for none.
QByteArray serviceRecordFor(QueryProtocol protocol, quint16 port);

// How many challenges a step answers before giving up on it; a server that keeps sending new ones
// would otherwise keep the query busy until the timeout.
inline constexpr int kMaxChallengeRounds = 3;

}  // namespace tamarin
