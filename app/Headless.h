#pragma once
// The program without window or tray (--headless): the same supervisor and check cycle,
// with message box texts in the log. Ends cleanly on SIGTERM, SIGINT or SIGHUP.

#include "SettingsLocation.h"
#include "mail/ComponentRegistry.h"

namespace app {

// Needs a QCoreApplication; the exit code of the supervisor.
int RunHeadless(const SettingsLocation& location, const mail::ComponentRegistry& components);

}  // namespace app
