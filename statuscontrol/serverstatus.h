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
};

// The query protocols the control speaks.
enum class QueryProtocol { None, Quake3, A2S };

struct GameTypeInfo {
    const char* code;         // the game-type code stored per game (GameType)
    const char* description;  // shown in the options screen
    QueryProtocol protocol;
};

// The game-type codes the control knows, in the order the options screen offers them.
QList<GameTypeInfo> knownGameTypes();
// The protocol for a game-type code (case-insensitive); None for an unknown code.
QueryProtocol protocolForGameType(const QString& code);

}  // namespace tamarin
