#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "serverquery/serverstatus.h"

namespace tamarin {

// The words every surface shows a status in, written once: the preview on the window, the
// gateway's banner and JSON, and through the JSON and the gateway's script the web panel.
namespace words {
inline constexpr const char* kStale = "online (stale)";
// A page that gets an old answer (from a cache in front of the gateway, say) says how old.
inline constexpr const char* kStaleAge = "%1, %2 old";
inline constexpr const char* kAgeSeconds = "%1 s";
inline constexpr const char* kAgeMinutes = "%1 min";
inline constexpr const char* kAgeHours = "%1 h";
inline constexpr const char* kUnknownGame = "unknown game type";
inline constexpr const char* kNotAllowed = "not allowed";
inline constexpr const char* kUnavailable = "status unavailable";  // the page lost the gateway
inline constexpr const char* kNoServer = "no server set";
inline constexpr const char* kNoMap = "no map";
inline constexpr const char* kPlayers = "%1/%2 players";
inline constexpr const char* kMoreRows = "+%1 more";
inline constexpr const char* kSeparator = "  \u00b7  ";
inline constexpr const char* kPlayerHeading = "Player";
inline constexpr const char* kScoreHeading = "Score";
inline constexpr const char* kPingHeading = "Ping";
inline constexpr const char* kShowPlayers = "Show the players";
inline constexpr const char* kHidePlayers = "Hide the players";
// Why a query failed, where that can be known.
inline constexpr const char* kNoAnswerOn = "no answer on %1";
inline constexpr const char* kQueryPortHint = "%1 answers queries on %2, its query port";
inline constexpr const char* kRefusedReason = "refused: nothing listens on that port";
inline constexpr const char* kHostNotFound = "host name not found";
inline constexpr const char* kAnsweredOtherwise = "answered, but not as a %1 server";
inline constexpr const char* kReasonSeparator = "; ";
}  // namespace words

// The words of a query's state ("online", "not answering"...).
QString stateWords(ServerStatus::State state);

// How the state's words are coloured: good news, trouble, or neither.
enum class StatusTone { Online, Trouble, Dim };

// What is known of one status when a surface is about to show it.
struct StatusFacts {
    // Why no status is shown: the game's code is unknown, or the gateway may not ask that server.
    enum class Refusal { None, UnknownGame, NotAllowed };
    ServerStatus status;
    QString gameType;    // the code the snippet gives
    QString gameName;    // the name the user's catalogue gives the game; empty: the table's name
    QString address;     // the server's host and port as shown
    bool stale = false;  // the last good answer, kept through one failed query
    Refusal refusal = Refusal::None;
    quint16 gamePort = 0;     // the port players connect to, as the snippet gives it
    quint16 queriedPort = 0;  // the port that was asked; 0: none was
};

// What a person sees of a status, the same on every surface.
struct StatusView {
    QString stateText;
    StatusTone tone = StatusTone::Dim;
    QString title;           // the server's name while it answers, its address otherwise
    QString gameName;        // the game as named to the reader
    QString summary;         // map, players, game and address; why and the game, without one
    QString reason;          // why a query failed, where that can be known; empty otherwise
    QList<PlayerRow> rows;   // the rows there is room for
    int moreRows = 0;        // players listed without a row, counted only when some rows show
    QString moreText;        // "+N more", or nothing
    bool rowNumbers = true;  // rows have Score and Ping columns; names only where they have not
    QByteArray icon;         // the server's picture beside the title while it answers (a PNG)
};

StatusView describeStatus(const StatusFacts& facts, int rowsThatFit);

}  // namespace tamarin
