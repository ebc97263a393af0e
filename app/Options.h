#pragma once
// The command line: --help, --version, --settings FILE, --headless, --autostart on|off,
// --sign-in [--oauth-provider FILE] [--device].

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
    bool signIn = false;            // --sign-in: sign in for the +oauth2 servers, then end
    QString oauthProvider;          // --oauth-provider FILE
    bool device = false;            // --device: the sign-in on another device
    QString error;                  // non-empty: a usage error, the program ends with 2
};

// arguments as main() got them, the program's name first. Needs no application object.
Options ParseOptions(const QStringList& arguments);

// The --help text. Needs a QCoreApplication.
QString HelpText();

}  // namespace app
