#pragma once

#include <QList>
#include <QString>
#include <map>
#include <tuple>

#include "common/steps.h"
#include "settings/settingsstore.h"

namespace tamarin {

// A settings store in memory that records every write, for tests. Names are compared exactly.
// It can be told to refuse writes, as a read-only or full disk would; saveAll is all or nothing,
// as the store on disk is.
class MemoryStore : public SettingsStore {
  public:
    struct Write {
        QString application;
        QString section;
        QString key;
        QString text;
    };

    QString get(const QString& application, const QString& section, const QString& key,
                const QString& defaultValue) const override {
        ++gets;
        const auto found = values.find({application, section, key});
        return found == values.end() ? defaultValue : found->second;
    }

    void save(const QString& application, const QString& section, const QString& key,
              const QString& text) override {
        if (refuseSaves) {
            throw StepFailure("the store refuses to save");
        }
        values[{application, section, key}] = text;
        writes.append({application, section, key, text});
    }

    void saveAll(const QString& application, const QList<SettingValue>& batch) override {
        if (refuseSaves) {
            throw StepFailure("the store refuses to save");
        }
        ++saveAllCalls;
        for (const SettingValue& value : batch) {
            save(application, value.section, value.key, value.text);
        }
    }

    bool holdsAnything(const QString& application) const override {
        const auto first = values.lower_bound({application, QString(), QString()});
        return first != values.end() && std::get<0>(first->first) == application;
    }

    // Puts a value in place as if an earlier run had written it; not recorded as a write.
    void seed(const QString& application, const QString& section, const QString& key,
              const QString& text) {
        values[{application, section, key}] = text;
    }

    bool contains(const QString& application, const QString& section, const QString& key) const {
        return values.count({application, section, key}) > 0;
    }

    std::map<std::tuple<QString, QString, QString>, QString> values;
    QList<Write> writes;
    int saveAllCalls = 0;
    mutable int gets = 0;
    bool refuseSaves = false;
};

}  // namespace tamarin
