#pragma once
// The authorization-code grant with PKCE (RFC 7636, S256) and a loopback redirect
// (RFC 8252 §7.3): a listener on 127.0.0.1 on a free port takes the browser's redirect;
// the code is exchanged for tokens. Opening the browser is the caller's (the library
// knows no desktop): openBrowser gets the address and says whether a browser started.

#include <QNetworkAccessManager>
#include <QUrl>
#include <functional>

#include "Token.h"
#include "mail/net/Result.h"

namespace oauth {

struct BrowserSignInOptions {
    QString loginHint;  // the account, so that the provider offers it first
    int timeoutSeconds = 300;
    std::function<bool(const QUrl&)> openBrowser;
    std::function<bool()> cancelled;  // asked every 200 ms
};

net::Result<Token> BrowserSignIn(QNetworkAccessManager& access, const Provider& provider,
                                 const BrowserSignInOptions& options);

// RFC 7636 §4.1-4.2: a verifier of 43 characters and its S256 challenge.
QByteArray NewCodeVerifier();
QByteArray CodeChallenge(const QByteArray& verifier);

}  // namespace oauth
