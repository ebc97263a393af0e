#pragma once
// The program's own logging category: set-up, shut-down, the lock, where the settings
// live, and failures with their reason. Never a password.

#include <QLoggingCategory>

namespace app {
Q_DECLARE_LOGGING_CATEGORY(lcApp)
}
