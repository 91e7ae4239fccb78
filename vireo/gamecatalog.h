#pragma once

#include <QList>
#include <QString>
#include <optional>

#include "serverquery/gametypes.h"

#include "settings/settingsstore.h"
#include "settings/vireoconfig.h"

namespace tamarin {

// One configured game: its key (also the name of the section that holds its values), the name the
// tool shows, the usual server port (as text, the way it is stored), the game-type code and where
// its servers answer queries (as stored: empty for the game port, "+1", "27015").
struct GameEntry {
    QString key;
    QString name;
    QString defaultPort;
    QString gameType;
    QString queryPort = {};

    bool operator==(const GameEntry&) const = default;
};

// A stored query port as a rule; std::nullopt for a text that is none of the three forms.
std::optional<QueryPortRule> queryPortRuleFromText(const QString& text);
// The rule as it is stored.
QString queryPortRuleText(const QueryPortRule& rule);

// The control's own list of games, as its options screen edits it and as the HTML tool's game list
// reads it back: Config/ServerCount (the highest game number, -1 for none), Config/GameList (the
// keys joined with commas) and, per key, GameName, DefaultPort and GameType. No widgets here, so
// everything the options screen decides can be checked on its own.
class GameCatalog {
  public:
    static inline const QString kApplication = QString::fromLatin1(vireoconfig::kApplication);
    // The tool reads the game count as a signed 16-bit number, so more games could not be listed.
    static constexpr int kMaxGames = 32768;

    GameCatalog() = default;
    explicit GameCatalog(QList<GameEntry> games) : games_(std::move(games)) {}

    // What a new account gets: every game the control can query, with its usual port.
    static GameCatalog defaults();
    // Reads the list as the tool does: the games 0..ServerCount, keys from GameList; a count that
    // is not a number counts as 0 and a game without a key is left out.
    static GameCatalog read(const SettingsStore& store);
    // Writes the defaults in one go when the store holds nothing at all for the control, as an
    // installer would; a configuration that is there, even an empty list or a file that cannot
    // be read, is the user's and stays. Returns whether it wrote. Throws StepFailure when the
    // store refuses.
    static bool writeDefaultsIfUnconfigured(SettingsStore& store);
    static bool isConfigured(const SettingsStore& store);

    const QList<GameEntry>& games() const { return games_; }

    // The games of the built-in table that the list lacks (an alias counts as its game), as new
    // entries under their codes, sorted by name: what an older list can take on.
    QList<GameEntry> missingBuiltInGames() const;

    // Why the entry cannot stand at position `replacing` (-1: as a new game), or an empty text when
    // it can. The messages are meant for the user.
    QString refusalFor(const GameEntry& entry, int replacing = -1) const;
    // The first refusal in the whole list, naming the game; empty when the list can be saved.
    QString refusalForList() const;

    // Each returns the refusal and changes nothing, or returns an empty text after the change.
    // The port is kept as plain decimal text.
    QString add(const GameEntry& entry);
    QString replace(int index, const GameEntry& entry);
    bool remove(int index);

    // The values that describe the list, each game's section first and Config last, so that a
    // store saving one value at a time never counts games it has not written yet.
    QList<SettingValue> valuesToSave() const;
    // Checks the whole list, then saves it with one saveAll. Throws StepFailure with the refusal
    // when the list is not sound, or when the store refuses.
    void saveTo(SettingsStore& store) const;

  private:
    static QString keyRefusal(const QString& key);
    QString duplicateRefusal(const QString& key, int replacing) const;
    static QString normalisedPort(const QString& text);
    static GameEntry normalised(const GameEntry& entry);

    QList<GameEntry> games_;
};

}  // namespace tamarin
