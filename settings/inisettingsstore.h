#pragma once

#include <QHash>
#include <memory>

#include "settings/settingsstore.h"

namespace tamarin {

// The store on disk: one human-readable INI file per application, <directory>/<app>/<app>.ini,
// where <directory> is the user's configuration directory (XDG_CONFIG_HOME, usually ~/.config).
// Every save rewrites the file atomically, so a crash or a full disk leaves either the old or the
// new content. Any text round-trips exactly. A line that is not UTF-8 (a file written by hand in
// an older editor) is read as Latin-1, so its values still read, and read the same after a save.
// A file that cannot be read as text at all (a folder in its place, NUL bytes, far too large)
// reads as absent values and is kept aside (<app>.ini.unreadable) when a save replaces it.
//
// A get answers from the file as parsed at an earlier get while the file is unchanged on disk,
// so that a window reading thousands of values reads the file once, not once per value.
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
    bool holdsAnything(const QString& application) const override;

    struct ParsedFile;

  private:
    const ParsedFile* parsed(const QString& path) const;

    QString directory_;
    mutable QHash<QString, std::shared_ptr<const ParsedFile>> parsed_;
};

}  // namespace tamarin
