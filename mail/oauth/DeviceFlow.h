#pragma once
// The device authorization grant (RFC 8628), for a machine without a browser: asks for a
// code, shows where to enter it, and polls the token endpoint at the interval the
// provider asks for (five seconds more after each slow_down) until the user approved,
// refused, the code expired, or cancelled() says so.

#include <QNetworkAccessManager>
#include <functional>

#include "Token.h"
#include "mail/net/Result.h"

namespace oauth {

struct DeviceCode {
    QString userCode, verificationUri, verificationUriComplete;
};

net::Result<Token> DeviceSignIn(QNetworkAccessManager& access, const Provider& provider,
                                const std::function<void(const DeviceCode&)>& show,
                                const std::function<bool()>& cancelled);

}  // namespace oauth
