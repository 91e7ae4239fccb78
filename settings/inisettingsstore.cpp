#include "settings/inisettingsstore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <cerrno>
#include <chrono>
#include <thread>

#include "common/steps.h"
#include "settings/inidocument.h"

namespace tamarin {

namespace {

// A settings file is a few kilobytes; anything far larger is not one of ours, and reading it
// at every get would stall the window.
constexpr qint64 kLargestReadableFile = 16 * 1024 * 1024;

// Another instance saving at the same moment holds the lock for milliseconds.
constexpr auto kLockWait = std::chrono::seconds(5);

// How many earlier unreadable files we keep aside before refusing to save.
constexpr int kMostSetAside = 100;

enum class FileState { Absent, Readable, Unreadable };

struct SettingsFile {
    FileState state = FileState::Absent;
    QString text;
};

[[noreturn]] void fail(const QString& why) {
    throw StepFailure(why.toStdString());
}

// The name becomes a folder and a file name: it must stay one plain path component.
bool isUsableApplicationName(const QString& application) {
    return !application.isEmpty() && application != u"." && application != u".." &&
           !application.contains(u'/') && !application.contains(u'\\') &&
           !application.contains(QChar(0));
}

std::optional<QString> decodeStrictly(const QByteArray& bytes) {
    if (bytes.contains('\0')) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

// Only a regular file is opened: a directory, a pipe or a device in the file's place counts as
// unreadable (a pipe would block the read for ever). The size is taken from the opened file, so
// that a save by another instance that replaces the file meanwhile cannot cut the read short.
SettingsFile readSettingsFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return {};
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly) || file.size() > kLargestReadableFile) {
        return {FileState::Unreadable, {}};
    }
    const QByteArray bytes = file.readAll();
    const bool complete =
        file.error() == QFileDevice::NoError && bytes.size() <= kLargestReadableFile;
    const std::optional<QString> text = complete ? decodeStrictly(bytes) : std::nullopt;
    return text ? SettingsFile{FileState::Readable, *text}
                : SettingsFile{FileState::Unreadable, {}};
}

QString freeSetAsidePath(const QString& path) {
    const QString first = path + QStringLiteral(".unreadable");
    for (int n = 1; n <= kMostSetAside; ++n) {
        const QString candidate = n == 1 ? first : first + u'.' + QString::number(n);
        if (!QFileInfo(candidate).exists() && !QFileInfo(candidate).isSymLink()) {
            return candidate;
        }
    }
    return {};
}

// A file we cannot read may still hold someone's settings: move it out of the way, never
// overwrite it.
void setAside(const QString& path) {
    const QString aside = freeSetAsidePath(path);
    if (aside.isEmpty()) {
        fail(QStringLiteral("too many unreadable settings files already kept beside %1").arg(path));
    }
    if (!QDir().rename(path, aside)) {
        fail(QStringLiteral("cannot move the unreadable settings file %1 aside").arg(path));
    }
}

void makeFolder(const QString& folder) {
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        fail(QStringLiteral("cannot create the settings folder %1").arg(folder));
    }
}

// Held on the application's folder while a save reads and rewrites its file, so that two
// instances saving at once cannot lose each other's values. The kernel drops the lock when its
// holder dies: a killed instance never leaves the folder locked, as a lock file would.
class FolderLock {
  public:
    explicit FolderLock(const QString& folder)
        : fd_(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~FolderLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False only when another instance holds the lock past the wait. Where the file system
    // offers no locks the save goes ahead unlocked: the atomic rewrite still protects the file.
    bool acquire() const {
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

  private:
    int fd_;
};

// QSaveFile writes a temporary file beside the target, flushes it to disk and renames it over
// the target: whoever reads the file, even after a crash mid-save, sees the old or the new
// content whole.
void writeAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        fail(QStringLiteral("cannot write %1: %2").arg(path, why));
    }
    if (!file.commit()) {
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
}

}  // namespace

IniSettingsStore::IniSettingsStore(QString directory) : directory_(std::move(directory)) {}

QString IniSettingsStore::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// Empty for a name that cannot be a file of its own ("", ".", "..", or one holding a slash):
// such an application has no values and cannot store any.
QString IniSettingsStore::fileFor(const QString& application) const {
    if (directory_.isEmpty() || !isUsableApplicationName(application)) {
        return {};
    }
    return QDir(directory_).filePath(application + u'/' + application + QStringLiteral(".ini"));
}

QString IniSettingsStore::get(const QString& application, const QString& section,
                              const QString& key, const QString& defaultValue) const {
    const QString path = fileFor(application);
    if (path.isEmpty()) {
        return defaultValue;
    }
    const SettingsFile file = readSettingsFile(path);
    if (file.state != FileState::Readable) {
        return defaultValue;
    }
    return IniDocument::fromText(file.text).value(section, key).value_or(defaultValue);
}

void IniSettingsStore::save(const QString& application, const QString& section, const QString& key,
                            const QString& text) {
    saveAll(application, {SettingValue{section, key, text}});
}

// The file is read again under the lock, so that what another instance saved since we last
// looked is kept, and two instances saving at once cannot lose each other's values.
void IniSettingsStore::saveAll(const QString& application, const QList<SettingValue>& values) {
    const QString path = fileFor(application);
    if (path.isEmpty()) {
        fail(QStringLiteral("no settings file for the application name \"%1\"").arg(application));
    }
    if (values.isEmpty()) {
        return;
    }
    const QString folder = QFileInfo(path).path();
    makeFolder(folder);
    const FolderLock lock(folder);
    if (!lock.acquire()) {
        fail(QStringLiteral("another program keeps the settings file %1 locked").arg(path));
    }
    const SettingsFile file = readSettingsFile(path);
    if (file.state == FileState::Unreadable) {
        setAside(path);
    }
    IniDocument document = IniDocument::fromText(file.text);
    for (const SettingValue& value : values) {
        document.setValue(value.section, value.key, value.text);
    }
    writeAtomically(path, document.toText().toUtf8());
}

}  // namespace tamarin
