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
};

// One query's exchange with a server, without the network: which request goes first, how each
// reply moves it on, and what a timeout leaves. The socket side lives in ServerQuery.
class QueryConversation {
  public:
    virtual ~QueryConversation() = default;

    virtual QByteArray firstRequest() = 0;
    // Every datagram that came from the queried address and port; unreadable ones change nothing.
    virtual ConversationStep onDatagram(QByteArrayView datagram) = 0;
    // The outcome when the time is up: what was learnt so far, or NotAnswering.
    virtual ServerStatus onTimeout() const = 0;
};

// A fresh conversation for the protocol; nullptr for QueryProtocol::None.
std::unique_ptr<QueryConversation> makeConversation(QueryProtocol protocol);

// How many challenges a step answers before giving up on it; a server that keeps sending new ones
// would otherwise keep the query busy until the timeout.
inline constexpr int kMaxChallengeRounds = 3;

}  // namespace tamarin
