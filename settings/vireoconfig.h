#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "settings/settingsstore.h"

// The status control's own game configuration, as its options screen writes it and as the tool's
// game list and the control's catalogue read it back: application "Vireo", section "Config" with
// ServerCount (the highest game number, -1 for none) and GameList (the keys joined with commas),
// and one section per game key with GameName, DefaultPort and GameType.
namespace tamarin::vireoconfig {

inline constexpr const char* kApplication = "Vireo";
inline constexpr const char* kConfig = "Config";
inline constexpr const char* kServerCount = "ServerCount";
inline constexpr const char* kGameList = "GameList";
inline constexpr const char* kGameName = "GameName";
inline constexpr const char* kDefaultPort = "DefaultPort";
inline constexpr const char* kGameType = "GameType";
inline constexpr char16_t kKeySeparator = u',';

// The highest game number: -1 (no games) when none is stored. Throws StepFailure when the stored
// text is not a 16-bit whole number.
qint16 serverCount(const SettingsStore& store);

// The keys of GameList, each exactly as stored; an empty list has no keys at all.
QStringList gameKeys(const SettingsStore& store);

// One value of a game's section (kGameName, kDefaultPort or kGameType); empty when absent.
QString gameValue(const SettingsStore& store, const QString& key, const char* name);

// How many games the list holds: the games 0..count, but never more than there are keys.
int listedGames(qint16 count, const QStringList& keys);

}  // namespace tamarin::vireoconfig
