#pragma once

#include <QList>
#include <QString>

namespace tamarin {

struct SettingValue {
    QString section;
    QString key;
    QString text;
};

// The per-user store of short text values, addressed by application, section and key. The tool's
// own last-used choices live under "Tamarin"; the status control's configuration under "Vireo".
// Two operations and no others: no deletion, no enumeration, only the question whether an
// application has any configuration at all.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // The stored text when the value exists (an empty stored text included); the default only
    // when the value, its section or its application does not exist. Never fails.
    virtual QString get(const QString& application, const QString& section, const QString& key,
                        const QString& defaultValue) const = 0;

    // Stores the text, creating application and section as needed and replacing an earlier value.
    // Throws StepFailure when the store refuses it (read-only place, full disk).
    virtual void save(const QString& application, const QString& section, const QString& key,
                      const QString& text) = 0;

    // Whether anything is stored for the application, even something that cannot be read: the
    // test for a new account, whose defaults may be written without overwriting anyone's values.
    // A store that cannot tell answers yes, so that nothing is ever written over a user's file.
    virtual bool holdsAnything(const QString& application) const {
        static_cast<void>(application);
        return true;
    }

    // Stores several values of one application together. The store on disk writes them in one
    // atomic rewrite, so a reader never sees half of a list; this fallback saves them one by one.
    virtual void saveAll(const QString& application, const QList<SettingValue>& values) {
        for (const SettingValue& value : values) {
            save(application, value.section, value.key, value.text);
        }
    }
};

}  // namespace tamarin
