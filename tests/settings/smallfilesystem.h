#pragma once

#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A 64 KiB tmpfs of its own, to fill up for real. Mounting needs root (as in CI); without it
// mounted() is false and the test skips.
class SmallFileSystem {
  public:
    SmallFileSystem() {
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                           "size=64k") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount(QFile::encodeName(dir_.path()).constData());
        }
    }
    bool mounted() const { return mounted_; }
    QString path() const { return dir_.filePath("config"); }

    // Fills the file system page by page, then frees the given number of pages again.
    void fillLeaving(int freePages) {
        QList<QString> pages;
        for (int n = 0;; ++n) {
            QFile page(dir_.filePath(QStringLiteral("page%1").arg(n)));
            if (!page.open(QIODevice::WriteOnly) || page.write(QByteArray(4096, 'x')) != 4096 ||
                !page.flush()) {
                page.remove();
                break;
            }
            pages << page.fileName();
        }
        for (int n = 0; n < freePages && !pages.isEmpty(); ++n) {
            QFile::remove(pages.takeLast());
        }
    }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};
