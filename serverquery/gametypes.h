#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace tamarin {

// The query protocols the control speaks.
enum class QueryProtocol {
    None,
    Quake3,
    A2S,
    Bedrock,
    MinecraftJava,
    GameSpy1,
    GameSpy2,
    GameSpy3,
    Unreal2,
    Ase,
};

// Where a game's server answers queries, which is often not the port players connect to: the game
// port itself, the game port moved by an offset (Valheim: +1), or a port of its own (DayZ: 27016).
struct QueryPortRule {
    enum class Kind { GamePort, Offset, Fixed };
    Kind kind = Kind::GamePort;
    int value = 0;  // the offset, or the fixed port

    static constexpr QueryPortRule gamePort() { return {}; }
    static constexpr QueryPortRule offset(int by) { return {Kind::Offset, by}; }
    static constexpr QueryPortRule fixed(int port) { return {Kind::Fixed, port}; }

    // The port to query for a server at `gamePort`; the game port itself when an offset would
    // leave the range of ports.
    quint16 queryPortFor(quint16 gamePort) const;
    bool operator==(const QueryPortRule&) const = default;
};

// One game, written once: the options screen, the control's first catalogue, the gateway's help
// and its JSON (and through it the web panel) all take their games from this table.
struct GameTypeInfo {
    const char* code;  // the game-type code stored per game (GameType) and written in the snippet
    const char* name;  // the game's name as every surface shows it
    QueryProtocol protocol;
    quint16 defaultPort;  // the game port a server of this game usually has
    QueryPortRule queryPort;
    const char* catalogueKey = nullptr;  // its key in the control's first catalogue, if listed
};

// Another code a game is known by (the older ids of public game tables), so that lists written
// for other tools carry over.
struct GameTypeAlias {
    const char* alias;
    const char* code;
};

// The game-type codes the control knows, in the order the options screen offers them.
QList<GameTypeInfo> knownGameTypes();
QList<GameTypeAlias> gameTypeAliases();
// The game of a code or an alias (case-insensitive, blanks around it ignored); nullptr for an
// unknown code.
const GameTypeInfo* findGameType(const QString& code);
// The code a game is known by here: the table's own for an alias, the code as given (trimmed) for
// a game the table lacks.
QString canonicalGameCode(const QString& code);
// The protocol for a game-type code; None for an unknown code.
QueryProtocol protocolForGameType(const QString& code);
// The name a game is shown by: the table's, or the code itself for a game the table lacks.
QString gameDisplayName(const QString& code);
// The port a server of this game answers queries on, by the table; the game port for a game the
// table lacks.
quint16 queryPortForGame(const QString& code, quint16 gamePort);
// The name of a protocol family as the documentation and the gateway's help give it.
const char* protocolName(QueryProtocol protocol);

}  // namespace tamarin
