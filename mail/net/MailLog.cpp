#include "MailLog.h"

namespace net {
Q_LOGGING_CATEGORY(lcMail, "tarnpost.mail")
}
