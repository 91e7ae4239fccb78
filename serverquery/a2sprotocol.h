#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

#include "serverquery/serverstatus.h"

namespace tamarin {

// Valve's server queries (A2S), spoken by Source and GoldSrc servers: A2S_INFO for the server's
// name, map and player counts and A2S_PLAYER for the player list, both behind a challenge step.

inline constexpr quint32 kA2sNoChallenge = 0xFFFFFFFF;

QByteArray a2sInfoRequest(std::optional<quint32> challenge = std::nullopt);
QByteArray a2sPlayerRequest(quint32 challenge = kA2sNoChallenge);

// S2C_CHALLENGE: the server wants the request again with this number appended.
struct A2sChallenge {
    quint32 challenge = 0;
};
// The info reply, in the Source ('I') or the obsolete GoldSrc ('m') layout.
struct A2sInfo {
    QString name;
    QString map;
    int players = 0;
    int maxPlayers = 0;
};
struct A2sPlayers {
    QList<PlayerRow> rows;
};
using A2sReply = std::variant<std::monostate, A2sChallenge, A2sInfo, A2sPlayers>;

// Reads one whole reply (a single datagram or a reassembled split one, starting FF FF FF FF).
// Anything not understood, or cut off before the fields shown, is std::monostate. A player list
// keeps only the players whose record arrived whole, however many the count byte claims.
A2sReply parseA2sReply(QByteArrayView reply);

// True for a datagram that is one fragment of a split reply (FE FF FF FF).
bool isA2sSplitFragment(QByteArrayView datagram);

// Puts split replies back together. Both layouts are understood: Source (id, total, number, size)
// and GoldSrc (id, one byte with the number and the total in its nibbles); the first fragment tells
// which, so fragments that come before it are kept raw until it arrives. Hostile or broken input
// is bounded: at most kMaxFragments fragments and kMaxReplyBytes bytes a reply, at most
// kMaxPendingReplies replies at a time (the oldest gives way). Compressed Source replies are not
// supported and are dropped; so is a reply whose fragments disagree about the total.
class A2sSplitAssembler {
  public:
    static constexpr int kMaxFragments = 16;
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;
    static constexpr int kMaxPendingReplies = 4;

    // Takes one fragment; returns the whole reply when this was its last missing fragment.
    std::optional<QByteArray> add(QByteArrayView fragment);
    void clear() { pending_.clear(); }
    int pendingReplies() const { return int(pending_.size()); }

  private:
    struct Pending {
        quint32 id = 0;
        QList<QByteArray> fragments;  // raw, in arrival order
        qsizetype bytes = 0;
    };

    Pending& pendingFor(quint32 id);
    void drop(quint32 id);

    QList<Pending> pending_;
};

}  // namespace tamarin
