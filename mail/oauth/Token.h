#pragma once
// What a sign-in leaves for one account: the tokens, when the access token expires, and
// the provider that issued them, so that a refresh needs nothing else. Stored as JSON.

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include "Provider.h"

namespace oauth {

struct Token {
    QString accessToken, refreshToken;
    QDateTime expiresAt;  // UTC; invalid when the provider did not say
    Provider provider;
    // The provider refused the refresh token: only a new sign-in helps, so no request
    // is made with it again.
    bool refreshRefused = false;

    QJsonObject ToJson() const;
    static Token FromJson(const QJsonObject& json);
};

// The key a server's tokens are stored under: "pop3 user@host:port".
QString AccountKey(const QString& protocol, const QString& user, const QString& host, int port);

}  // namespace oauth
