#pragma once
// Who issues the tokens for a server: its endpoints, the client ID registered with it
// and the scopes a mail client asks for. Google and Microsoft are built in, recognised
// by the mail server's host; any other provider, or a client ID for a built-in one, comes
// from a JSON file with the keys authorization_endpoint, token_endpoint, optional
// device_authorization_endpoint, client_id, optional client_secret, and scope.

#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <optional>

#include "mail/net/Result.h"

namespace oauth {

struct Provider {
    QString name;  // "Google", "Microsoft", or the file's name
    QUrl authorizationEndpoint, tokenEndpoint, deviceEndpoint;
    QString clientId, clientSecret;
    QString scope;  // space-separated

    QJsonObject ToJson() const;
    static Provider FromJson(const QJsonObject& json);
};

// The built-in provider of a mail server host, if it is one of theirs (no client ID).
std::optional<Provider> BuiltInProvider(const QString& host);

// The provider for host: the file's keys over the built-in ones (file may be empty).
// Fails when the file cannot be read, an endpoint is not https (loopback excepted), or
// the result lacks an endpoint or the client ID; the message says which.
net::Result<Provider> ResolveProvider(const QString& host, const QString& file);

}  // namespace oauth
