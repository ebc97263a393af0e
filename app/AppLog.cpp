#include "AppLog.h"

namespace app {
Q_LOGGING_CATEGORY(lcApp, "tarnpost.app")
}
