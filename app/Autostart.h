#pragma once
// Start at login: the XDG autostart entry $XDG_CONFIG_HOME/autostart/tarnpost.desktop.

#include <QString>

namespace app {

// Writes the entry (starting program, with --settings when settingsFile is given) or
// removes it. message says what was done, or why it could not be (then false).
bool SetAutostart(bool on, const QString& configHome, const QString& program,
                  const QString& settingsFile, QString* message);

}  // namespace app
