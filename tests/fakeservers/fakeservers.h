#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>
#include <functional>
#include <optional>
#include <utility>

// Game servers for tests and benchmarks, on the loopback interface only: each binds to port 0 of
// 127.0.0.1 (or ::1) and answers from the test's own event loop.
namespace tamarin::fake {

// --- Replies as real servers would build them ------------------------------------------------

struct Quake3Player {
    int score = 0;
    int ping = 0;
    QByteArray name;
};
using InfoPairs = QList<std::pair<QByteArray, QByteArray>>;
QByteArray quake3Reply(const InfoPairs& settings, const QList<Quake3Player>& players);

struct A2sInfoFields {
    QByteArray name = "Fake Server";
    QByteArray map = "cp_fake";
    QByteArray folder = "tf";
    QByteArray game = "Team Fortress";
    quint8 players = 0;
    quint8 maxPlayers = 24;
};
QByteArray a2sSourceInfoReply(const A2sInfoFields& info);
QByteArray a2sGoldSrcInfoReply(const A2sInfoFields& info);

struct A2sPlayer {
    QByteArray name;
    qint32 score = 0;
    float seconds = 0;
};
// The count byte says players.size() unless told otherwise.
QByteArray a2sPlayerReply(const QList<A2sPlayer>& players, std::optional<int> count = {});
QByteArray a2sChallengeReply(quint32 challenge);

// A reply cut into split fragments of at most payloadSize bytes of the reply each.
QList<QByteArray> splitSource(const QByteArray& reply, quint32 id, int payloadSize);
QList<QByteArray> splitGoldSrc(const QByteArray& reply, quint32 id, int payloadSize);

// A loopback UDP port that was bound a moment ago and is closed now.
quint16 closedUdpPort();

// --- Servers --------------------------------------------------------------------------------

class FakeServer : public QObject {
  public:
    explicit FakeServer(const QHostAddress& address = QHostAddress::LocalHost,
                        QObject* parent = nullptr);

    bool isListening() const;
    quint16 port() const { return socket_.localPort(); }
    const QList<QByteArray>& requests() const { return requests_; }

    void setSilent(bool silent) { silent_ = silent; }
    // Answers from a second socket, so replies come from the right address but the wrong port.
    void setReplyFromOtherPort(bool other) { fromOtherPort_ = other; }
    void setReplyDelayMs(int ms) { delayMs_ = ms; }
    // A busy or lossy server: the first n requests go unanswered.
    void setDropFirst(int n) { dropFirst_ = n; }

  protected:
    virtual QList<QByteArray> repliesTo(const QByteArray& request) = 0;

  private:
    void answerPending();
    void sendReplies(const QList<QByteArray>& replies, const QHostAddress& to, quint16 port);

    QUdpSocket socket_;
    QUdpSocket otherSocket_;
    QList<QByteArray> requests_;
    bool silent_ = false;
    bool fromOtherPort_ = false;
    int delayMs_ = 0;
    int dropFirst_ = 0;
};

class FakeQuake3Server : public FakeServer {
  public:
    using FakeServer::FakeServer;
    // Replaces the default reply (a named server with two players) by these datagrams.
    void setReplies(const QList<QByteArray>& replies) { replies_ = replies; }

  protected:
    QList<QByteArray> repliesTo(const QByteArray& request) override;

  private:
    QList<QByteArray> replies_;
};

class FakeA2sServer : public FakeServer {
  public:
    enum class Split { None, Source, GoldSrc };

    using FakeServer::FakeServer;
    void setInfoReply(const QByteArray& reply) { infoReply_ = reply; }
    void setPlayerReply(const QByteArray& reply) { playerReply_ = reply; }
    // Requests must carry this challenge, else the server answers with it (S2C_CHALLENGE).
    void setChallenge(std::optional<quint32> challenge) { challenge_ = challenge; }
    // A hostile server: it answers every request with a new challenge.
    void setRotateChallenge(bool rotate) { rotateChallenge_ = rotate; }
    void setAnswerPlayers(bool answer) { answerPlayers_ = answer; }
    // Sends every reply in split fragments of payloadSize bytes, optionally last fragment first.
    void setSplit(Split split, int payloadSize = 40, bool reversed = false) {
        split_ = split;
        splitPayload_ = payloadSize;
        splitReversed_ = reversed;
    }

  protected:
    QList<QByteArray> repliesTo(const QByteArray& request) override;

  private:
    std::optional<QList<QByteArray>> challengeFor(const QByteArray& request,
                                                  const QByteArray& expected);
    QList<QByteArray> fragments(const QByteArray& reply);

    QByteArray infoReply_ = a2sSourceInfoReply({});
    QByteArray playerReply_ = a2sPlayerReply({{"alpha", 3, 10.f}, {"beta", -1, 20.f}});
    std::optional<quint32> challenge_;
    bool rotateChallenge_ = false;
    bool answerPlayers_ = true;
    Split split_ = Split::None;
    int splitPayload_ = 40;
    bool splitReversed_ = false;
    quint32 splitId_ = 1;
};

// A server of any family: its script answers each request with the datagrams to send back (none
// for silence). Captured replies are replayed through it, so a family is tested on what real
// servers sent.
class FakeScriptedServer : public FakeServer {
  public:
    using Script = std::function<QList<QByteArray>(const QByteArray& request)>;
    explicit FakeScriptedServer(Script script,
                                const QHostAddress& address = QHostAddress::LocalHost)
        : FakeServer(address), script_(std::move(script)) {}

  protected:
    QList<QByteArray> repliesTo(const QByteArray& request) override { return script_(request); }

  private:
    Script script_;
};

// The bytes of a captured reply under tests/serverquery/fixtures (a path below it); empty when it
// cannot be read, which the test then reports.
QByteArray fixture(const QString& relativePath);

}  // namespace tamarin::fake
