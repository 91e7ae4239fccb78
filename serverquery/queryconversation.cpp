#include "serverquery/queryconversation.h"

#include <QDateTime>
#include <QRandomGenerator>

#include "serverquery/a2sprotocol.h"
#include "serverquery/bedrockprotocol.h"
#include "serverquery/quake3protocol.h"

namespace tamarin {

namespace {

class Quake3Conversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return quake3StatusRequest(); }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        return {{}, parseQuake3StatusReply(datagram)};
    }

    ServerStatus onTimeout() const override {
        return ServerStatus::withState(ServerStatus::State::NotAnswering);
    }
};

// A2S_INFO first, answering up to kMaxChallengeRounds challenges; then A2S_PLAYER the same way.
// A server that told its info but not its players is online without rows.
class A2sConversation : public QueryConversation {
  public:
    QByteArray firstRequest() override { return a2sInfoRequest(); }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        if (isA2sSplitFragment(datagram)) {
            const std::optional<QByteArray> whole = splits_.add(datagram);
            return whole ? onReply(parseA2sReply(*whole)) : ConversationStep{};
        }
        return onReply(parseA2sReply(datagram));
    }

    ServerStatus onTimeout() const override {
        return info_ ? *info_ : ServerStatus::withState(ServerStatus::State::NotAnswering);
    }

  private:
    ConversationStep onReply(const A2sReply& reply) {
        if (const auto* challenge = std::get_if<A2sChallenge>(&reply)) {
            return onChallenge(challenge->challenge);
        }
        if (const auto* info = std::get_if<A2sInfo>(&reply); info && !info_) {
            return onInfo(*info);
        }
        if (const auto* players = std::get_if<A2sPlayers>(&reply); players && info_) {
            ServerStatus status = *info_;
            status.rows = players->rows;
            return {{}, status};
        }
        return {};
    }

    ConversationStep onChallenge(quint32 challenge) {
        // The same challenge again answers a resent copy of the request; the request carrying it
        // is already on its way (and resent in turn), so it is neither a new round nor a new send.
        if (challenge == lastChallenge_) {
            return {};
        }
        lastChallenge_ = challenge;
        if (++challengeRounds_ > kMaxChallengeRounds) {
            return {{}, onTimeout()};
        }
        return {info_ ? a2sPlayerRequest(challenge) : a2sInfoRequest(challenge), std::nullopt};
    }

    ConversationStep onInfo(const A2sInfo& info) {
        ServerStatus status;
        status.state = ServerStatus::State::Online;
        status.name = info.name;
        status.map = info.map;
        status.players = info.players;
        status.maxPlayers = info.maxPlayers;
        info_ = status;
        challengeRounds_ = 0;
        lastChallenge_.reset();
        splits_.clear();
        return {a2sPlayerRequest(), std::nullopt};
    }

    A2sSplitAssembler splits_;
    std::optional<ServerStatus> info_;
    int challengeRounds_ = 0;
    std::optional<quint32> lastChallenge_;
};

// One unconnected ping, one pong. Its resends are the same bytes, so any pong answers it.
class BedrockConversation : public QueryConversation {
  public:
    QByteArray firstRequest() override {
        return bedrockPingRequest(quint64(QDateTime::currentMSecsSinceEpoch()),
                                  QRandomGenerator::global()->generate64());
    }

    ConversationStep onDatagram(QByteArrayView datagram) override {
        return {{}, parseBedrockPong(datagram)};
    }

    ServerStatus onTimeout() const override {
        return ServerStatus::withState(ServerStatus::State::NotAnswering);
    }
};

}  // namespace

std::unique_ptr<QueryConversation> makeConversation(QueryProtocol protocol) {
    switch (protocol) {
        case QueryProtocol::Quake3:
            return std::make_unique<Quake3Conversation>();
        case QueryProtocol::A2S:
            return std::make_unique<A2sConversation>();
        case QueryProtocol::Bedrock:
            return std::make_unique<BedrockConversation>();
        case QueryProtocol::None:
            break;
    }
    return nullptr;
}

}  // namespace tamarin
