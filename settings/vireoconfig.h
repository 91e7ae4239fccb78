#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "settings/settingsstore.h"

// The status control's own game configuration, as its options screen writes it and as the tool's
// game list and the control's catalogue read it back: application "Vireo", section "Config" with
// ServerCount (the highest game number, -1 for none) and GameList (the keys joined with commas),
// and one section per game key with GameName, DefaultPort, GameType and QueryPort.
namespace tamarin::vireoconfig {

inline constexpr const char* kApplication = "Vireo";
inline constexpr const char* kConfig = "Config";
inline constexpr const char* kServerCount = "ServerCount";
inline constexpr const char* kGameList = "GameList";
inline constexpr const char* kGameName = "GameName";
inline constexpr const char* kDefaultPort = "DefaultPort";
inline constexpr const char* kGameType = "GameType";
// Where the game's servers answer queries: empty (or absent, as in files from before it) for the
// game port, "+N" or "-N" for an offset from it, a number for a port of its own.
inline constexpr const char* kQueryPort = "QueryPort";
inline constexpr char16_t kKeySeparator = u',';

// The highest game number: -1 (no games) when none is stored. Throws StepFailure when the stored
// text is not a 16-bit whole number.
qint16 serverCount(const SettingsStore& store);

// The keys of GameList, each exactly as stored; an empty list has no keys at all.
QStringList gameKeys(const SettingsStore& store);

// One value of a game's section (kGameName, kDefaultPort, kGameType or kQueryPort); empty when
// absent.
QString gameValue(const SettingsStore& store, const QString& key, const char* name);

// How many games the list holds: the games 0..count, but never more than there are keys.
int listedGames(qint16 count, const QStringList& keys);

}  // namespace tamarin::vireoconfig
