#include "vireo/gamecatalog.h"

#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <optional>

#include "common/numbers.h"
#include "common/ports.h"
#include "common/steps.h"
#include "serverquery/gametypes.h"
#include "serverquery/serverstatus.h"
#include "settings/vireoconfig.h"
#include "vireo/vireotexts.h"

namespace tamarin {

namespace {

using namespace vireoconfig;

using namespace vireotexts;

QString message(const char* text) {
    return QString::fromUtf8(text);
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control) {
            return true;
        }
    }
    return false;
}

std::optional<qint32> portNumber(const QString& text) {
    const std::optional<qint32> port = tryWholeText32(text);
    if (port && isPortNumber(*port)) {
        return port;
    }
    return std::nullopt;
}

GameEntry builtInEntry(const GameTypeInfo& type, const QString& key) {
    return {key, QString::fromUtf8(type.name), QString::number(type.defaultPort),
            QString::fromUtf8(type.code), queryPortRuleText(type.queryPort)};
}

}  // namespace

std::optional<QueryPortRule> queryPortRuleFromText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return QueryPortRule::gamePort();
    }
    const QChar sign = trimmed.front();
    if (sign == u'+' || sign == u'-') {
        const std::optional<qint32> by = tryWholeText32(trimmed.mid(1));
        if (!by || !isPortNumber(*by)) {
            return std::nullopt;
        }
        return QueryPortRule::offset(sign == u'-' ? -*by : *by);
    }
    const std::optional<qint32> port = portNumber(trimmed);
    return port ? std::optional(QueryPortRule::fixed(*port)) : std::nullopt;
}

QString queryPortRuleText(const QueryPortRule& rule) {
    switch (rule.kind) {
        case QueryPortRule::Kind::Offset:
            return (rule.value < 0 ? QStringLiteral("-") : QStringLiteral("+")) +
                   decimalText(qint64(std::abs(rule.value)));
        case QueryPortRule::Kind::Fixed:
            return decimalText(qint64(rule.value));
        case QueryPortRule::Kind::GamePort:
            break;
    }
    return {};
}

// The first catalogue: the games of the one table that it lists, under their keys.
GameCatalog GameCatalog::defaults() {
    QList<GameEntry> games;
    for (const GameTypeInfo& type : knownGameTypes()) {
        if (type.catalogueKey) {
            games.append(builtInEntry(type, QString::fromUtf8(type.catalogueKey)));
        }
    }
    return GameCatalog(games);
}

GameCatalog GameCatalog::read(const SettingsStore& store) {
    const qint16 count = attempt([&] { return serverCount(store); }).value_or(0);
    if (count < 0) {
        return {};
    }
    const QStringList keys = gameKeys(store);
    QList<GameEntry> games;
    for (int i = 0; i < listedGames(count, keys); ++i) {
        const QString& key = keys.at(i);
        games.append({key, gameValue(store, key, kGameName), gameValue(store, key, kDefaultPort),
                      gameValue(store, key, kGameType), gameValue(store, key, kQueryPort)});
    }
    return GameCatalog(games);
}

bool GameCatalog::isConfigured(const SettingsStore& store) {
    // Two different defaults: only an absent value answers both with the default it was given,
    // whatever text a user may have stored.
    const QString first = QStringLiteral("0");
    const QString second = QStringLiteral("1");
    return store.get(kApplication, kConfig, kServerCount, first) != first ||
           store.get(kApplication, kConfig, kServerCount, second) != second;
}

bool GameCatalog::writeDefaultsIfUnconfigured(SettingsStore& store) {
    // A configuration we cannot read is still the user's: the defaults would replace it.
    if (store.holdsAnything(kApplication) || isConfigured(store)) {
        return false;
    }
    defaults().saveTo(store);
    return true;
}

QString GameCatalog::refusalFor(const GameEntry& entry, int replacing) const {
    if (const QString refusal = keyRefusal(entry.key); !refusal.isEmpty()) {
        return refusal;
    }
    if (const QString refusal = duplicateRefusal(entry.key, replacing); !refusal.isEmpty()) {
        return refusal;
    }
    if (entry.name.trimmed().isEmpty()) {
        return message(kEmptyName);
    }
    if (hasControlCharacter(entry.name)) {
        return message(kControlInName);
    }
    if (!portNumber(entry.defaultPort)) {
        return message(kBadPort);
    }
    if (protocolForGameType(entry.gameType) == QueryProtocol::None) {
        return message(kUnknownType);
    }
    if (!queryPortRuleFromText(entry.queryPort)) {
        return message(kBadQueryPort);
    }
    return {};
}

QList<GameEntry> GameCatalog::missingBuiltInGames() const {
    QSet<QString> listed;
    for (const GameEntry& entry : games_) {
        listed.insert(canonicalGameCode(entry.gameType).toLower());
    }
    QList<GameEntry> missing;
    for (const GameTypeInfo& type : knownGameTypes()) {
        if (listed.contains(QString::fromUtf8(type.code))) {
            continue;
        }
        // A key of the list may already be the code, for another game: the new one gets a number.
        QString key = QString::fromUtf8(type.code);
        for (int n = 2; !duplicateRefusal(key, -1).isEmpty(); ++n) {
            key = QStringLiteral("%1-%2").arg(QString::fromUtf8(type.code)).arg(n);
        }
        missing.append(builtInEntry(type, key));
    }
    std::sort(missing.begin(), missing.end(), [](const GameEntry& a, const GameEntry& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return missing;
}

QString GameCatalog::refusalForList() const {
    if (games_.size() > kMaxGames) {
        return message(kTooMany);
    }
    for (int i = 0; i < games_.size(); ++i) {
        if (const QString refusal = refusalFor(games_.at(i), i); !refusal.isEmpty()) {
            return message(kInGame).arg(i + 1).arg(games_.at(i).key, refusal);
        }
    }
    return {};
}

QString GameCatalog::add(const GameEntry& entry) {
    if (games_.size() >= kMaxGames) {
        return message(kTooMany);
    }
    const QString refusal = refusalFor(entry);
    if (refusal.isEmpty()) {
        games_.append(normalised(entry));
    }
    return refusal;
}

QString GameCatalog::replace(int index, const GameEntry& entry) {
    if (index < 0 || index >= games_.size()) {
        return add(entry);
    }
    const QString refusal = refusalFor(entry, index);
    if (refusal.isEmpty()) {
        games_[index] = normalised(entry);
    }
    return refusal;
}

bool GameCatalog::remove(int index) {
    if (index < 0 || index >= games_.size()) {
        return false;
    }
    games_.removeAt(index);
    return true;
}

QList<SettingValue> GameCatalog::valuesToSave() const {
    QList<SettingValue> values;
    QStringList keys;
    for (const GameEntry& entry : games_) {
        values.append({entry.key, kGameName, entry.name});
        values.append({entry.key, kDefaultPort, entry.defaultPort});
        values.append({entry.key, kGameType, entry.gameType});
        values.append({entry.key, kQueryPort, entry.queryPort});
        keys.append(entry.key);
    }
    values.append({kConfig, kGameList, keys.join(QChar(kKeySeparator))});
    values.append({kConfig, kServerCount, decimalText(qint64(games_.size()) - 1)});
    return values;
}

void GameCatalog::saveTo(SettingsStore& store) const {
    if (const QString refusal = refusalForList(); !refusal.isEmpty()) {
        throw StepFailure(refusal.toStdString());
    }
    store.saveAll(kApplication, valuesToSave());
}

QString GameCatalog::keyRefusal(const QString& key) {
    if (key.isEmpty()) {
        return message(kEmptyKey);
    }
    // A blank at either end is invisible in every list that shows the key, yet makes it a
    // different key and a different section; no one means that.
    if (key.front().isSpace() || key.back().isSpace()) {
        return message(kBlankEnds);
    }
    if (key.contains(QChar(kKeySeparator))) {
        return message(kCommaInKey);
    }
    if (hasControlCharacter(key)) {
        return message(kControlInKey);
    }
    return {};
}

QString GameCatalog::duplicateRefusal(const QString& key, int replacing) const {
    // Letter case does not make a new key: a store may well compare section names without it.
    for (int i = 0; i < games_.size(); ++i) {
        if (i != replacing && games_.at(i).key.compare(key, Qt::CaseInsensitive) == 0) {
            return message(kDuplicateKey).arg(key);
        }
    }
    return {};
}

QString GameCatalog::normalisedPort(const QString& text) {
    const std::optional<qint32> port = portNumber(text);
    return port ? decimalText(*port) : text;
}

GameEntry GameCatalog::normalised(const GameEntry& entry) {
    const std::optional<QueryPortRule> query = queryPortRuleFromText(entry.queryPort);
    return {entry.key, entry.name.trimmed(), normalisedPort(entry.defaultPort),
            entry.gameType.trimmed(),
            query ? queryPortRuleText(*query) : entry.queryPort.trimmed()};
}

}  // namespace tamarin
