#pragma once
// The sign-in library's logging category: flows, refreshes, where tokens are kept.
// Never a token, a code or a client secret.

#include <QLoggingCategory>

namespace oauth {
Q_DECLARE_LOGGING_CATEGORY(lcOAuth)
}
