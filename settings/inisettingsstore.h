#pragma once

#include "settings/settingsstore.h"

namespace tamarin {

// The store on disk: one human-readable INI file per application, <directory>/<app>/<app>.ini,
// where <directory> is the user's configuration directory (XDG_CONFIG_HOME, usually ~/.config).
// Every save rewrites the file atomically, so a crash leaves either the old or the new content.
// Any text round-trips exactly; a file that cannot be read as text reads as absent values and is
// kept aside (<app>.ini.unreadable) rather than silently overwritten.
class IniSettingsStore : public SettingsStore {
  public:
    explicit IniSettingsStore(QString directory = defaultDirectory());

    static QString defaultDirectory();
    QString fileFor(const QString& application) const;

    QString get(const QString& application, const QString& section, const QString& key,
                const QString& defaultValue) const override;
    void save(const QString& application, const QString& section, const QString& key,
              const QString& text) override;
    // All values in one locked read and one atomic rewrite: a reader sees all of them or none.
    void saveAll(const QString& application, const QList<SettingValue>& values) override;

  private:
    QString directory_;
};

}  // namespace tamarin
