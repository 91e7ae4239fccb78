#include "settings/vireoconfig.h"

#include "common/numbers.h"

namespace tamarin::vireoconfig {

namespace {
QString value(const SettingsStore& store, const QString& section, const char* key,
              const QString& defaultValue = QString()) {
    return store.get(QString::fromLatin1(kApplication), section, QString::fromLatin1(key),
                     defaultValue);
}
}  // namespace

qint16 serverCount(const SettingsStore& store) {
    return wholeText16(
        value(store, QString::fromLatin1(kConfig), kServerCount, QStringLiteral("-1")));
}

QStringList gameKeys(const SettingsStore& store) {
    const QString list = value(store, QString::fromLatin1(kConfig), kGameList);
    return list.isEmpty() ? QStringList() : list.split(QChar(kKeySeparator));
}

QString gameValue(const SettingsStore& store, const QString& key, const char* name) {
    return value(store, key, name);
}

int listedGames(qint16 count, const QStringList& keys) {
    // A game number beyond the keys lists nothing, so the list ends with the keys.
    return qMax(0, qMin<int>(int(count) + 1, int(keys.size())));
}

}  // namespace tamarin::vireoconfig
