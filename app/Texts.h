#pragma once
// The start-up texts of the program itself (the window's texts live with the window).

#include <QDateTime>
#include <QString>

namespace app {

// Shown by a second copy that found the lock taken; the lock file's path follows.
inline const QString kAlreadyRunning = QStringLiteral("Tarnpostは既に起動しています");
// The status line while a set-up that failed for a network reason waits for its next try.
inline QString SetUpRetryText(const QString& failure, const QDateTime& nextTry) {
    return QStringLiteral("%1（%2に再試行します）")
        .arg(failure, nextTry.toString(QStringLiteral("HH:mm:ss")));
}
inline constexpr int kExitUsage = 2;           // an unknown option or a bad value
inline constexpr int kExitAlreadyRunning = 3;  // another copy holds the lock

}  // namespace app
