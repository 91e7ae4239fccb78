#pragma once

#include <QByteArray>
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
    // Rows the server listed beyond those kept (a relay keeps a bounded number); they still
    // count in "+N more".
    int rowsLeftOut = 0;
    // False where the game lists its players by name only (Minecraft's sample): no Score or Ping
    // to show.
    bool rowsHaveNumbers = true;
    // The picture the server shows beside its name (Minecraft's favicon): a PNG of at most 64 by
    // 64 pixels, checked as such; empty for none.
    QByteArray icon = {};
    // The round trip the protocol itself timed, in milliseconds; -1 where it did not.
    int latencyMs = -1;
    // What more is known of a failure: for NotAnswering, that something came back from the
    // server's address and port all the same (another protocol, or another game, listens there);
    // for BadAddress, that the name was looked up and not found.
    enum class Failure { Unknown, AnsweredOtherwise, HostNotFound };
    Failure failure = Failure::Unknown;

    // A status that says nothing but its state: how every failed query ends.
    static ServerStatus withState(State state) {
        ServerStatus status;
        status.state = state;
        return status;
    }
};

}  // namespace tamarin
