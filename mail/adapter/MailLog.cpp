#include "MailLog.h"

namespace mail {
Q_LOGGING_CATEGORY(lcMail, "tarnpost.mail")
}
