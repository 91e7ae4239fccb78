#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace tamarin {

// The query protocols the control speaks.
enum class QueryProtocol { None, Quake3, A2S, Bedrock, MinecraftJava };

// One game, written once: the options screen, the control's first catalogue, the gateway's help
// and its JSON (and through it the web panel) all take their games from this table.
struct GameTypeInfo {
    const char* code;  // the game-type code stored per game (GameType) and written in the snippet
    const char* name;  // the game's name as every surface shows it
    QueryProtocol protocol;
    quint16 defaultPort;  // the game port a server of this game usually has
    const char*
        catalogueKey;  // its key in the control's first catalogue; nullptr: not listed there
};

// The game-type codes the control knows, in the order the options screen offers them.
QList<GameTypeInfo> knownGameTypes();
// The game of a code (case-insensitive, blanks around it ignored); nullptr for an unknown code.
const GameTypeInfo* findGameType(const QString& code);
// The protocol for a game-type code; None for an unknown code.
QueryProtocol protocolForGameType(const QString& code);
// The name a game is shown by: the table's, or the code itself for a game the table lacks.
QString gameDisplayName(const QString& code);

}  // namespace tamarin
