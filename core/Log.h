#pragma once
// The check cycle's logging category: checks, forwards and digests (counts and
// recipients, never a body or a password).

#include <QLoggingCategory>

namespace core {
Q_DECLARE_LOGGING_CATEGORY(lcCheck)
}
