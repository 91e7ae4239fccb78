#pragma once

// The status control's own captions and messages (its menu, its options screen and what that
// screen says about a game), written once. The words of a status itself (states, summary, the
// headings of the rows) are every surface's, in serverquery/statusview.h.
namespace tamarin::vireotexts {

inline constexpr const char* kOptionsMenu = "Options\u2026";

inline constexpr const char* kOptionsTitle = "Vireo Options";
inline constexpr const char* kAddTitle = "Add Game";
inline constexpr const char* kEditTitle = "Edit Game";
inline constexpr const char* kKeyLabel = "Key:";
inline constexpr const char* kNameLabel = "Name:";
inline constexpr const char* kPortLabel = "Default port:";
inline constexpr const char* kTypeLabel = "Game type:";
inline constexpr const char* kQueryPortLabel = "Query port:";
inline constexpr const char* kQueryPortHint = "the game port; or +1, -1\u2026; or a port";
inline constexpr const char* kKeyColumn = "Key";
inline constexpr const char* kNameColumn = "Name";
inline constexpr const char* kPortColumn = "Port";
inline constexpr const char* kTypeColumn = "Game type";
inline constexpr const char* kQueryPortColumn = "Query port";
inline constexpr const char* kGamePortItem = "game port";  // an empty QueryPort, in the list
inline constexpr const char* kAddButton = "Add\u2026";
inline constexpr const char* kEditButton = "Edit\u2026";
inline constexpr const char* kRemoveButton = "Remove";
inline constexpr const char* kBuiltInButton = "Built-in Games\u2026";
inline constexpr const char* kTestButton = "Test Server\u2026";
inline constexpr const char* kBuiltInTitle = "Built-in Games";
inline constexpr const char* kBuiltInPrompt =
    "The control can query these games too. Tick the ones to add to the list:";
inline constexpr const char* kNoneMissing = "The list already holds every built-in game.";
inline constexpr const char* kTestTitle = "Test Server: %1";
inline constexpr const char* kGamePortLabel = "Game port:";
inline constexpr const char* kAddressLabel = "Address:";
inline constexpr const char* kTestRun = "Test";
inline constexpr const char* kTestAsks = "Asks %1 on port %2\u2026";
inline constexpr const char* kNoGameChosen = "Choose a game in the list first.";
inline constexpr const char* kUpdateButton = "Update Game List";
inline constexpr const char* kCloseButton = "Close";
inline constexpr const char* kUpdated = "The game list was updated.";
inline constexpr const char* kNotWritten = "The game list was not written.\n\n%1";
inline constexpr const char* kUnknownTypeItem = "%1 (unknown)";

inline constexpr const char* kEmptyKey = "The game key must not be empty.";
inline constexpr const char* kBlankEnds = "The game key must not begin or end with a blank.";
inline constexpr const char* kCommaInKey =
    "The game key must not contain a comma: the game list separates its keys with commas.";
inline constexpr const char* kControlInKey = "The game key must not contain line breaks or tabs.";
inline constexpr const char* kDuplicateKey = "The game key \"%1\" is already used by another game.";
inline constexpr const char* kEmptyName = "The game name must not be empty.";
inline constexpr const char* kControlInName = "The game name must not contain line breaks or tabs.";
inline constexpr const char* kBadPort = "The default port must be a whole number from 1 to 65535.";
inline constexpr const char* kBadQueryPort =
    "The query port must be empty (the game port), an offset such as +1 or -1, or a whole number "
    "from 1 to 65535.";
inline constexpr const char* kUnknownType = "Choose one of the game types the control can query.";
inline constexpr const char* kTooMany = "The game list cannot hold more than 32768 games.";
inline constexpr const char* kInGame = "Game %1 (\"%2\"): %3";

}  // namespace tamarin::vireotexts
