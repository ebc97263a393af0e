#include "Log.h"

namespace core {
Q_LOGGING_CATEGORY(lcCheck, "tarnpost.check")
}
