#pragma once
// The command line: --help, --version, --settings FILE, --headless, --autostart on|off.

#include <QString>
#include <QStringList>
#include <optional>

namespace app {

struct Options {
    bool help = false;
    bool version = false;
    bool headless = false;
    QString settingsFile;           // empty: found by LocateSettings
    std::optional<bool> autostart;  // --autostart on (true) or off (false)
    QString error;                  // non-empty: a usage error, the program ends with 2
};

// arguments as main() got them, the program's name first. Needs no application object.
Options ParseOptions(const QStringList& arguments);

// The --help text. Needs a QCoreApplication.
QString HelpText();

}  // namespace app
