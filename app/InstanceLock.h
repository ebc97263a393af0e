#pragma once
// One running copy per settings file: an exclusive lock file next to it, held for the
// program's life. A lock left by a copy that was killed is taken over (the process it
// names no longer runs); a lock of a running copy is never taken, however old.

#include <QLockFile>
#include <QString>

namespace app {

class InstanceLock {
public:
    explicit InstanceLock(const QString& path);
    // False when another running copy holds the lock (HeldElsewhere tells) or it cannot
    // be made; the lock file is then left as it is.
    bool Acquire();
    bool HeldElsewhere() const { return lock_.error() == QLockFile::LockFailedError; }
    QString Path() const { return path_; }
    // Why Acquire failed, for the log.
    QString Reason() const;

private:
    QString path_;
    QLockFile lock_;
};

}  // namespace app
