#include "InstanceLock.h"

namespace app {

InstanceLock::InstanceLock(const QString& path) : path_(path), lock_(path) {
    // Only a dead owner makes a lock stale: the age of a running copy's lock means nothing.
    lock_.setStaleLockTime(0);
}

bool InstanceLock::Acquire() { return lock_.tryLock(0); }

QString InstanceLock::Reason() const {
    switch (lock_.error()) {
        case QLockFile::NoError:
            return QString();
        case QLockFile::LockFailedError: {
            qint64 pid = 0;
            QString host, application;
            if (lock_.getLockInfo(&pid, &host, &application))
                return QStringLiteral("held by process %1 on %2").arg(pid).arg(host);
            return QStringLiteral("held by another process");
        }
        case QLockFile::PermissionError:
            return QStringLiteral("no permission to create it");
        case QLockFile::UnknownError:
            break;
    }
    return QStringLiteral("cannot create it");
}

}  // namespace app
