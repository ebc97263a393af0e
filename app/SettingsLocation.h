#pragma once
// Where Tarnpost.ini, the journal and the log live.
//
// 1. --settings FILE: that file; journal and log beside it.
// 2. The executable's folder, when it already holds Tarnpost.ini or its permissions let
//    the user write there (a portable copy, as the program has always worked).
// 3. Otherwise (an installed copy): $XDG_CONFIG_HOME/tarnpost/Tarnpost.ini, and
//    $XDG_STATE_HOME/tarnpost/ for the journal and the log.
// "Writable" follows the folder's permission bits, not root's power to ignore them, so
// that an installed copy started by root stays out of the program folder too.

#include <QProcessEnvironment>
#include <QString>

namespace app {

struct SettingsLocation {
    QString settingsFile;
    QString stateFolder;  // the journal and the log
    QString lockFile;     // next to the settings file
};

SettingsLocation LocateSettings(const QString& explicitFile, const QString& programFolder,
                                const QProcessEnvironment& environment);

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute.
QString ConfigHome(const QProcessEnvironment& environment);

// Creates the folders the location names, readable by the user only when new. False
// with the reason when one cannot be made.
bool MakeFolders(const SettingsLocation& location, QString* error);

}  // namespace app
