#include "OAuthLog.h"

namespace oauth {
Q_LOGGING_CATEGORY(lcOAuth, "tarnpost.oauth")
}
