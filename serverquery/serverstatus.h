#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace tamarin {

// What a game server said about itself, as far as the control shows it. Every text here came from
// the network and is shown as plain text only.
struct PlayerRow {
    QString name;
    qint32 score = 0;
    qint32 ping = 0;  // milliseconds; 0 where the protocol does not report it
};

struct ServerStatus {
    enum class State { NotQueried, Querying, Online, NotAnswering, Refused, BadAddress };
    State state = State::NotQueried;
    QString name;
    QString map;
    int players = 0;
    int maxPlayers = 0;
    QList<PlayerRow> rows;

    // The state in the words the preview, the banner and the status JSON all use.
    static QString stateText(State state) {
        switch (state) {
            case State::NotQueried:
                return QStringLiteral("not queried yet");
            case State::Querying:
                return QStringLiteral("querying\u2026");
            case State::Online:
                return QStringLiteral("online");
            case State::NotAnswering:
                return QStringLiteral("not answering");
            case State::Refused:
                return QStringLiteral("refused");
            case State::BadAddress:
                return QStringLiteral("bad address");
        }
        return {};
    }

    // A status that says nothing but its state: how every failed query ends.
    static ServerStatus withState(State state) {
        ServerStatus status;
        status.state = state;
        return status;
    }
};

}  // namespace tamarin
