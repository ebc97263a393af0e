#pragma once
// Start at login: the XDG autostart entry $XDG_CONFIG_HOME/autostart/tarnpost.desktop.

#include <QString>

namespace app {

// Writes the entry (starting program, with --settings when settingsFile is given) or
// removes it. False with the reason when the file could not be written or removed.
bool SetAutostart(bool on, const QString& configHome, const QString& program,
                  const QString& settingsFile, QString* error);

}  // namespace app
