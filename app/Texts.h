#pragma once
// The start-up texts of the program itself (the window's texts live with the window).

#include <QString>

namespace app {

// Shown by a second copy that found the lock taken; the lock file's path follows.
inline const QString kAlreadyRunning = QStringLiteral("Tarnpostは既に起動しています");
inline constexpr int kExitUsage = 2;           // an unknown option or a bad value
inline constexpr int kExitAlreadyRunning = 3;  // another copy holds the lock

}  // namespace app
