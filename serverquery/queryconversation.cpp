#include "serverquery/queryconversation.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include "serverquery/a2sprotocol.h"
#include "serverquery/aseprotocol.h"
#include "serverquery/bedrockprotocol.h"
#include "serverquery/gamespy1protocol.h"
#include "serverquery/gamespy2protocol.h"
#include "serverquery/gamespy3protocol.h"
#include "serverquery/minecraftprotocol.h"
#include "serverquery/quake3protocol.h"
#include "serverquery/unreal2protocol.h"

namespace tamarin {

namespace {

// One request, one reply: the first datagram the parser reads ends the query (Quake III's
// getstatus, Bedrock's unconnected ping). Resends are the same bytes, so either copy's answer does.
class OneReplyConversation : public QueryConversation {
  public:
    using Parser = std::optional<ServerStatus> (*)(QByteArrayView);
    OneReplyConversation(QByteArray request, Parser parse)
        : request_(std::move(request)), parse_(parse) {}

    QByteArray firstRequest() override { return request_; }

    ConversationStep onDatagram(QByteArrayView datagram) override { return {{}, parse_(datagram)}; }

    ServerStatus onTimeout() const override {
        return ServerStatus::withState(ServerStatus::State::NotAnswering);
    }

  private:
    QByteArray request_;
    Parser parse_;
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

// The handshake and status request, the status; then a ping, whose pong times the round trip.
// A server that closes after the status, or never pongs, is online all the same.
class MinecraftJavaConversation : public QueryConversation {
  public:
    MinecraftJavaConversation(const QString& host, quint16 port) : host_(host), port_(port) {}

    bool overStream() const override { return true; }
    QByteArray firstRequest() override { return minecraftStatusRequest(host_, port_); }

    ConversationStep onDatagram(QByteArrayView bytes) override {
        if (legacy_) {
            return onLegacyBytes(bytes);
        }
        packets_.add(bytes);
        QByteArray packet;
        for (auto next = packets_.next(packet); next != MinecraftPackets::Next::NeedMore;
             next = packets_.next(packet)) {
            if (next == MinecraftPackets::Next::Broken) {
                return status_ ? ConversationStep{{}, status_} : onClosed();
            }
            if (ConversationStep step = onPacket(packet); !step.send.isEmpty() || step.outcome) {
                return step;
            }
        }
        return {};
    }

    ServerStatus onTimeout() const override {
        return status_ ? *status_ : ServerStatus::withState(ServerStatus::State::NotAnswering);
    }

    // A server from before 1.7 closes on the handshake: it is asked the old way, once.
    ConversationStep onClosed() override {
        if (status_ || legacy_) {
            return {{}, onTimeout()};
        }
        legacy_ = true;
        return {minecraftLegacyPingRequest(), std::nullopt, true};
    }

  private:
    ConversationStep onLegacyBytes(QByteArrayView bytes) {
        legacyReply_.append(bytes);
        if (legacyReply_.size() > MinecraftPackets::kMaxPacket) {
            return {{}, onTimeout()};
        }
        status_ = parseMinecraftLegacyKick(legacyReply_);
        return status_ ? ConversationStep{{}, status_} : ConversationStep{};
    }

    ConversationStep onPacket(QByteArrayView packet) {
        if (!status_) {
            status_ = parseMinecraftStatus(packet);
            if (!status_) {
                return {{}, onTimeout()};  // the first packet must be the status
            }
            pingTimer_.start();
            return {minecraftPingRequest(kPingPayload), std::nullopt};
        }
        if (isMinecraftPong(packet, kPingPayload)) {
            status_->latencyMs = int(pingTimer_.elapsed());
            return {{}, status_};
        }
        return {};
    }

    static constexpr quint64 kPingPayload = 0x5669'7265'6f21'0001;  // "Vireo!", 1
    QString host_;
    quint16 port_;
    MinecraftPackets packets_;
    std::optional<ServerStatus> status_;
    QElapsedTimer pingTimer_;
    bool legacy_ = false;
    QByteArray legacyReply_;
};

}  // namespace

QByteArray serviceRecordFor(QueryProtocol protocol, quint16 port) {
    // The game's client asks for the record only for an address without a port, which it then
    // takes to be the default one.
    constexpr quint16 kJavaDefaultPort = 25565;
    return protocol == QueryProtocol::MinecraftJava && port == kJavaDefaultPort
               ? QByteArrayLiteral("_minecraft._tcp")
               : QByteArray();
}

std::unique_ptr<QueryConversation> makeConversation(QueryProtocol protocol, const QString& host,
                                                    quint16 port) {
    switch (protocol) {
        case QueryProtocol::Quake3:
            return std::make_unique<OneReplyConversation>(quake3StatusRequest(),
                                                          parseQuake3StatusReply);
        case QueryProtocol::A2S:
            return std::make_unique<A2sConversation>();
        case QueryProtocol::Bedrock:
            return std::make_unique<OneReplyConversation>(
                bedrockPingRequest(quint64(QDateTime::currentMSecsSinceEpoch()),
                                   QRandomGenerator::global()->generate64()),
                parseBedrockPong);
        case QueryProtocol::MinecraftJava:
            return std::make_unique<MinecraftJavaConversation>(host, port);
        case QueryProtocol::GameSpy1:
            return makeGameSpy1Conversation();
        case QueryProtocol::GameSpy2:
            return makeGameSpy2Conversation();
        case QueryProtocol::GameSpy3:
            return makeGameSpy3Conversation();
        case QueryProtocol::Unreal2:
            return makeUnreal2Conversation();
        case QueryProtocol::Ase:
            return makeAseConversation();
        case QueryProtocol::None:
            break;
    }
    return nullptr;
}

}  // namespace tamarin
