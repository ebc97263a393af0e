#pragma once
// The mail adapter's logging category: sessions and mails accepted by the servers.
// Never a body or a password.

#include <QLoggingCategory>

namespace net {
Q_DECLARE_LOGGING_CATEGORY(lcMail)
}
