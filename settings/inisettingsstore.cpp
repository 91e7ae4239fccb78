#include "settings/inisettingsstore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "common/steps.h"
#include "settings/atomicfile.h"
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

// What tells one version of a file from another without reading it. The inode and device catch a
// file replaced by a rename (every save of ours), size and times a rewrite in place. The change
// time cannot be set back by anyone, so even a rewrite that restores the old modification time
// (as copying tools do) changes it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOf(const struct stat& info) {
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return {info.st_dev, info.st_ino, info.st_size, ns(info.st_mtim), ns(info.st_ctim)};
}

qint64 nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct SettingsFile {
    FileState state = FileState::Absent;
    QString text;
    FileIdentity identity;
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

// Only a regular file is opened: a directory, a pipe or a device in the file's place counts as
// unreadable (a pipe would block the read for ever). The size and identity are taken from the
// opened file, so that a save by another instance that replaces the file meanwhile cannot cut
// the read short or pair one version's identity with another's text.
SettingsFile readSettingsFile(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        // Only a file that is not there is absent; one we may not even look at (or a link that
        // leads nowhere) is still someone's.
        const bool missing = (errno == ENOENT || errno == ENOTDIR) && !QFileInfo(path).isSymLink();
        return missing ? SettingsFile{} : SettingsFile{FileState::Unreadable, {}, {}};
    }
    QFile file(path);
    if (!S_ISREG(info.st_mode) || !file.open(QIODevice::ReadOnly) ||
        ::fstat(file.handle(), &info) != 0 || info.st_size > kLargestReadableFile) {
        return {FileState::Unreadable, {}, identityOf(info)};
    }
    const QByteArray bytes = file.readAll();
    const bool complete =
        file.error() == QFileDevice::NoError && bytes.size() <= kLargestReadableFile;
    if (!complete || bytes.contains('\0')) {
        return {FileState::Unreadable, {}, identityOf(info)};
    }
    return {FileState::Readable, IniDocument::decode(bytes), identityOf(info)};
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
QString setAside(const QString& path) {
    const QString aside = freeSetAsidePath(path);
    if (aside.isEmpty()) {
        fail(QStringLiteral("too many unreadable settings files already kept beside %1").arg(path));
    }
    if (!QDir().rename(path, aside)) {
        fail(QStringLiteral("cannot move the unreadable settings file %1 aside").arg(path));
    }
    return aside;
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

// A link (as dotfile managers make) stays a link and its target gets the new content; but the
// link to an unreadable file is what is moved aside, so the new file then takes the link's place.
QString fileToReplace(const QString& path, FileState state) {
    const QFileInfo info(path);
    const QString target =
        info.isSymLink() && state != FileState::Unreadable ? info.canonicalFilePath() : QString();
    return target.isEmpty() ? path : target;
}

// An unreadable file is moved aside only once the new content is safely on disk, and is put back
// when the new file then cannot take its name: a refused save leaves everything where it was.
void replaceSettingsFile(const QString& path, FileState state, const QByteArray& bytes) {
    QString aside;
    const auto moveAside = [&] {
        if (state == FileState::Unreadable) {
            aside = setAside(path);
        }
    };
    try {
        replaceFileAtomically(fileToReplace(path, state), bytes, moveAside);
    } catch (const StepFailure&) {
        if (!aside.isEmpty()) {
            QDir().rename(aside, path);
        }
        throw;
    }
}

// Every pass of the event loop counts one up. Within one pass (one handler: the window's load,
// one click) nothing is ever read twice from a file still being changed on disk, and each
// handler sees the file as it was when it first looked.
std::atomic<quint64> eventLoopPasses{0};

void countNextPass() {
    static thread_local bool pending = false;
    if (!pending && QAbstractEventDispatcher::instance() != nullptr) {
        pending = true;
        QTimer::singleShot(0, [] {
            pending = false;
            ++eventLoopPasses;
        });
    }
}

// How far apart the clock and a file's time stamps may be: file systems keep times to a tick of
// the kernel's clock, some to a whole two seconds.
constexpr qint64 kTimeStampSlackNs = 3'000'000'000;

}  // namespace

// One version of a file, parsed. A file last changed well before it was read is known by its
// identity: any later change gives it a later change time. A file changed just before it was
// read could be changed again within the same tick of the time stamps, same size and all, so its
// parse is trusted only for the rest of the event-loop pass that read it (never without a loop).
struct IniSettingsStore::ParsedFile {
    FileState state = FileState::Absent;
    FileIdentity identity;
    IniDocument document;
    bool settled = false;
    std::optional<quint64> pass;

    bool stillCurrent(const FileIdentity& onDisk) const {
        return onDisk == identity && (settled || pass == eventLoopPasses.load());
    }
};

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

const IniSettingsStore::ParsedFile* IniSettingsStore::parsed(const QString& path) const {
    struct stat info {};
    const bool exists = ::stat(QFile::encodeName(path).constData(), &info) == 0;
    const auto known = parsed_.constFind(path);
    if (exists && known != parsed_.constEnd() && (*known)->stillCurrent(identityOf(info))) {
        return known->get();
    }
    const qint64 readAt = nowNs();
    SettingsFile file = readSettingsFile(path);
    if (file.state == FileState::Absent) {
        parsed_.remove(path);
        return nullptr;
    }
    auto entry = std::make_shared<ParsedFile>();
    entry->state = file.state;
    entry->identity = file.identity;
    entry->document = IniDocument::fromText(file.text);
    entry->settled = file.identity.changedNs + kTimeStampSlackNs < readAt;
    if (!entry->settled && QAbstractEventDispatcher::instance() != nullptr) {
        entry->pass = eventLoopPasses.load();
        countNextPass();
    }
    parsed_.insert(path, entry);
    return entry.get();
}

QString IniSettingsStore::get(const QString& application, const QString& section,
                              const QString& key, const QString& defaultValue) const {
    const QString path = fileFor(application);
    const ParsedFile* file = path.isEmpty() ? nullptr : parsed(path);
    if (file == nullptr || file->state != FileState::Readable) {
        return defaultValue;
    }
    return file->document.value(section, key).value_or(defaultValue);
}

bool IniSettingsStore::holdsAnything(const QString& application) const {
    const QString path = fileFor(application);
    return !path.isEmpty() && parsed(path) != nullptr;
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
    IniDocument document = IniDocument::fromText(file.text);
    for (const SettingValue& value : values) {
        document.setValue(value.section, value.key, value.text);
    }
    parsed_.remove(path);
    replaceSettingsFile(path, file.state, document.toText().toUtf8());
}

}  // namespace tamarin
