#include "tests/fakeservers/fakeservers.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "serverquery/a2sprotocol.h"
#include "serverquery/bytereader.h"
#include "serverquery/quake3protocol.h"

namespace tamarin::fake {

namespace {

// Views, not arrays: replies are built during other files' static initialisation too.
constexpr QByteArrayView kHeader("\xFF\xFF\xFF\xFF", 4);
constexpr QByteArrayView kSplitHeader("\xFE\xFF\xFF\xFF", 4);

void appendString(QByteArray& bytes, const QByteArray& text) {
    bytes.append(text);
    bytes.append('\0');
}

QList<QByteArray> chunks(const QByteArray& reply, int payloadSize) {
    QList<QByteArray> parts;
    for (qsizetype at = 0; at < reply.size(); at += payloadSize) {
        parts.append(reply.mid(at, payloadSize));
    }
    return parts;
}

}  // namespace

QByteArray quake3Reply(const InfoPairs& settings, const QList<Quake3Player>& players) {
    QByteArray reply = kHeader.toByteArray() + "statusResponse\n";
    for (const auto& [key, value] : settings) {
        reply += '\\' + key + '\\' + value;
    }
    reply += '\n';
    for (const Quake3Player& player : players) {
        reply += QByteArray::number(player.score) + ' ' + QByteArray::number(player.ping) + " \"" +
                 player.name + "\"\n";
    }
    return reply;
}

QByteArray a2sSourceInfoReply(const A2sInfoFields& info) {
    QByteArray reply = kHeader.toByteArray() + 'I';
    reply += char(17);  // protocol
    appendString(reply, info.name);
    appendString(reply, info.map);
    appendString(reply, info.folder);
    appendString(reply, info.game);
    appendLittleEndian<quint16>(reply, 440);
    reply += char(info.players);
    reply += char(info.maxPlayers);
    reply += char(0);  // bots
    reply += "dl";     // dedicated, Linux
    reply += char(0);  // no password
    reply += char(1);  // VAC
    appendString(reply, "1.0.0.0");
    return reply;
}

QByteArray a2sGoldSrcInfoReply(const A2sInfoFields& info) {
    QByteArray reply = kHeader.toByteArray() + 'm';
    appendString(reply, "127.0.0.1:27015");
    appendString(reply, info.name);
    appendString(reply, info.map);
    appendString(reply, info.folder);
    appendString(reply, info.game);
    reply += char(info.players);
    reply += char(info.maxPlayers);
    reply += char(47);  // protocol
    reply += "dl";
    reply += char(0);  // no password
    reply += char(0);  // not a mod
    reply += char(1);  // VAC
    reply += char(0);  // bots
    return reply;
}

QByteArray a2sPlayerReply(const QList<A2sPlayer>& players, std::optional<int> count) {
    QByteArray reply = kHeader.toByteArray() + 'D';
    reply += char(count.value_or(int(players.size())));
    for (qsizetype i = 0; i < players.size(); ++i) {
        reply += char(i);
        appendString(reply, players[i].name);
        appendLittleEndian<quint32>(reply, quint32(players[i].score));
        quint32 bits;
        std::memcpy(&bits, &players[i].seconds, sizeof bits);
        appendLittleEndian<quint32>(reply, bits);
    }
    return reply;
}

QByteArray a2sChallengeReply(quint32 challenge) {
    QByteArray reply = kHeader.toByteArray() + 'A';
    appendLittleEndian<quint32>(reply, challenge);
    return reply;
}

QList<QByteArray> splitSource(const QByteArray& reply, quint32 id, int payloadSize) {
    const QList<QByteArray> parts = chunks(reply, payloadSize);
    QList<QByteArray> fragments;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray fragment = kSplitHeader.toByteArray();
        appendLittleEndian<quint32>(fragment, id);
        fragment += char(parts.size());
        fragment += char(i);
        appendLittleEndian<quint16>(fragment, 1248);
        fragments.append(fragment + parts[i]);
    }
    return fragments;
}

QList<QByteArray> splitGoldSrc(const QByteArray& reply, quint32 id, int payloadSize) {
    const QList<QByteArray> parts = chunks(reply, payloadSize);
    QList<QByteArray> fragments;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QByteArray fragment = kSplitHeader.toByteArray();
        appendLittleEndian<quint32>(fragment, id);
        fragment += char((i << 4) | (parts.size() & 0x0F));
        fragments.append(fragment + parts[i]);
    }
    return fragments;
}

quint16 closedUdpPort() {
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    const quint16 port = socket.localPort();
    socket.close();
    return port;
}

FakeServer::FakeServer(const QHostAddress& address, QObject* parent) : QObject(parent) {
    socket_.bind(address, 0);
    otherSocket_.bind(address, 0);
    connect(&socket_, &QUdpSocket::readyRead, this, &FakeServer::answerPending);
}

bool FakeServer::isListening() const {
    return socket_.state() == QAbstractSocket::BoundState &&
           otherSocket_.state() == QAbstractSocket::BoundState;
}

void FakeServer::answerPending() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram request = socket_.receiveDatagram();
        requests_.append(request.data());
        if (silent_ || requests_.size() <= dropFirst_) {
            continue;
        }
        const QList<QByteArray> replies = repliesTo(request.data());
        const QHostAddress to = request.senderAddress();
        const quint16 port = quint16(request.senderPort());
        if (delayMs_ > 0) {
            QTimer::singleShot(delayMs_, this, [=, this] { sendReplies(replies, to, port); });
        } else {
            sendReplies(replies, to, port);
        }
    }
}

void FakeServer::sendReplies(const QList<QByteArray>& replies, const QHostAddress& to,
                             quint16 port) {
    QUdpSocket& from = fromOtherPort_ ? otherSocket_ : socket_;
    for (const QByteArray& reply : replies) {
        from.writeDatagram(reply, to, port);
    }
}

QList<QByteArray> FakeQuake3Server::repliesTo(const QByteArray& request) {
    if (request != quake3StatusRequest()) {
        return {};
    }
    if (!replies_.isEmpty()) {
        return replies_;
    }
    return {quake3Reply(
        {{"sv_hostname", "^1Fake ^7Arena"}, {"mapname", "q3dm17"}, {"sv_maxclients", "16"}},
        {{12, 50, "^2Visor"}, {-3, 999, "Sarge"}})};
}

std::optional<QList<QByteArray>> FakeA2sServer::challengeFor(const QByteArray& request,
                                                             const QByteArray& expected) {
    if (rotateChallenge_) {
        challenge_ = challenge_.value_or(0) + 1;
    } else if (!challenge_ || request == expected) {
        return std::nullopt;
    }
    return QList<QByteArray>{a2sChallengeReply(*challenge_)};
}

QList<QByteArray> FakeA2sServer::repliesTo(const QByteArray& request) {
    if (request.startsWith(a2sInfoRequest())) {
        return challengeFor(request, a2sInfoRequest(challenge_)).value_or(fragments(infoReply_));
    }
    if (request.startsWith(kHeader.toByteArray() + 'U')) {
        const std::optional<QList<QByteArray>> challenge =
            challengeFor(request, a2sPlayerRequest(challenge_.value_or(0)));
        if (challenge) {
            return *challenge;
        }
        return answerPlayers_ ? fragments(playerReply_) : QList<QByteArray>();
    }
    return {};
}

QList<QByteArray> FakeA2sServer::fragments(const QByteArray& reply) {
    QList<QByteArray> parts;
    switch (split_) {
        case Split::None:
            return {reply};
        case Split::Source:
            parts = splitSource(reply, splitId_++, splitPayload_);
            break;
        case Split::GoldSrc:
            parts = splitGoldSrc(reply, splitId_++, splitPayload_);
            break;
    }
    if (splitReversed_) {
        std::reverse(parts.begin(), parts.end());
    }
    return parts;
}

QByteArray fixture(const QString& relativePath) {
    QFile file(QStringLiteral(TAMARIN_FIXTURES_DIR "/") + relativePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace tamarin::fake
