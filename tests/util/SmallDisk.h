#pragma once
// A folder whose file system the test can fill, or make read-only: a tmpfs of a few KB
// mounted for the test when it runs as root (as CI does); otherwise a file size limit
// on this process stands in for the full disk (writes past it fail with EFBIG) and
// permissions for the read-only folder.

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>

namespace testutil {

class SmallDisk {
public:
    SmallDisk() {
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(),
                                               "tmpfs", 0, "size=16k,mode=0700") == 0;
    }
    ~SmallDisk() {
        Free();
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
        QFile::setPermissions(
            dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    QString FilePath(const QString& name) const { return dir_.filePath(name); }

    // From now on no file here grows. tmpfs hands out whole pages, so the last page of
    // each file is filled too, with line ends (blank lines, which a journal skips).
    void Fill() {
        if (mounted_) {
            for (const QFileInfo& info : QDir(dir_.path()).entryInfoList(QDir::Files)) {
                QFile file(info.filePath());
                if (info.size() % kPage != 0 && file.open(QIODevice::Append))
                    file.write(QByteArray(kPage - info.size() % kPage, '\n'));
            }
            QFile filler(dir_.filePath(QStringLiteral("filler")));
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
            const QByteArray block(512, 'x');
            for (int i = 0; i < 1000 && filler.write(block) == block.size(); ++i) {
            }
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_IGN);
        qint64 largest = 0;
        for (const QFileInfo& file : QDir(dir_.path()).entryInfoList(QDir::Files))
            largest = std::max(largest, file.size());
        rlimit limit = saved_;
        limit.rlim_cur = rlim_t(largest);
        limited_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    void Free() {
        if (mounted_) QFile::remove(dir_.filePath(QStringLiteral("filler")));
        if (limited_) ::setrlimit(RLIMIT_FSIZE, &saved_);
        limited_ = false;
    }

    // No file here can be created or written from now on.
    void MakeReadOnly() {
        if (mounted_) {
            ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs",
                    MS_REMOUNT | MS_RDONLY, nullptr);
            return;
        }
        for (const QFileInfo& file : QDir(dir_.path()).entryInfoList(QDir::Files))
            QFile::setPermissions(file.filePath(), QFileDevice::ReadOwner);
        QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }

private:
    static constexpr qint64 kPage = 4096;
    QTemporaryDir dir_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit saved_{};
};

}  // namespace testutil
