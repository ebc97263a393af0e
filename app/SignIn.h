#pragma once
// tarnpost --sign-in: signs in for every +oauth2 server in the settings and stores the
// tokens. The browser flow by default (the browser from $BROWSER, else openBrowser);
// with --device the device flow, whose address and code go to out. A POP3 and an SMTP
// server of one provider and one account share one sign-in.

#include <QString>
#include <QUrl>
#include <cstdio>
#include <functional>

namespace core {
struct SharedState;
}

namespace app {

struct SignInRequest {
    QString settingsFile;
    QString providerFile;  // --oauth-provider; may be empty for a built-in provider
    bool device = false;
    std::function<bool(const QUrl&)> openBrowser;  // the desktop's default browser
    std::function<bool()> cancelled;               // the user gave up (asked often)
};

// 0 when every +oauth2 server has its tokens; 1 with the reason on err otherwise.
int RunSignIn(const SignInRequest& request, std::FILE* out, std::FILE* err);
// The same for the servers of settings already read from request.settingsFile.
int SignInFor(const core::SharedState& state, const SignInRequest& request, std::FILE* out,
              std::FILE* err);

// Starts $BROWSER with the address (its first command, "%s" replaced or the address
// appended); false when BROWSER is unset or the command cannot start.
bool StartBrowserFromEnvironment(const QUrl& url);

}  // namespace app
