#include "settings/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#include "common/steps.h"

namespace tamarin {

namespace {

[[noreturn]] void failWith(const QString& path, const char* what, int error) {
    throw StepFailure(
        QStringLiteral("cannot write %1: %2 (%3)")
            .arg(path, QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(error)))
            .toStdString());
}

// A link (as dotfile managers make) stays a link: its target gets the new content.
QString finalTarget(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.isSymLink() ? info.canonicalFilePath() : QString();
    return canonical.isEmpty() ? path : canonical;
}

// Writes every byte or fails: write() may take only part of a buffer, and on a file system that
// is nearly full it takes a part and then refuses the rest.
int writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written == 0 ? ENOSPC : errno;
        }
        data += written;
        left -= written;
    }
    return 0;
}

// A new name beside the target, created here and now, so that nothing else writes to it. The
// mode asked for passes through the umask, as for any new file.
int createTemporary(const QByteArray& target, QByteArray& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// The new file keeps the old one's permissions.
void copyPermissions(int fd, const QByteArray& target) {
    struct stat old {};
    if (::stat(target.constData(), &old) == 0) {
        [[maybe_unused]] const int ignored = ::fchmod(fd, old.st_mode & 07777);
    }
}

// A full disk may show only when the data is flushed or the file closed, so both are checked:
// the temporary file is renamed only when nothing at all went wrong.
void writeTemporary(int fd, const QString& target, const QByteArray& bytes) {
    if (const int error = writeAll(fd, bytes); error != 0) {
        failWith(target, "writing", error);
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) {
        failWith(target, "flushing to disk", errno);
    }
}

void syncFolder(const QString& target) {
    const int dir = ::open(QFile::encodeName(QFileInfo(target).path()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // the rename is done; a folder that cannot be flushed changes nothing
        ::close(dir);
    }
}

}  // namespace

void replaceFileAtomically(const QString& path, const QByteArray& bytes,
                           const std::function<void()>& beforeReplace) {
    const QString target = finalTarget(path);
    const QByteArray encoded = QFile::encodeName(target);
    QByteArray temporary;
    const int fd = createTemporary(encoded, temporary);
    if (fd < 0) {
        failWith(target, "creating a temporary file", errno);
    }
    try {
        copyPermissions(fd, encoded);
        writeTemporary(fd, target, bytes);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.constData());
        throw;
    }
    try {
        // Linux closes the file even when close() reports an error, EINTR included; only a
        // real error (a delayed write that failed) counts.
        if (::close(fd) != 0 && errno != EINTR) {
            failWith(target, "closing", errno);
        }
        if (beforeReplace) {
            beforeReplace();
        }
        if (::rename(temporary.constData(), encoded.constData()) != 0) {
            failWith(target, "renaming the new file", errno);
        }
    } catch (...) {
        ::unlink(temporary.constData());
        throw;
    }
    syncFolder(target);
}

}  // namespace tamarin
