#pragma once

#include <QList>
#include <QString>

namespace tamarin {

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
