#pragma once
// Requests to the providers' endpoints, with the mail sessions' trust rule: the system
// store plus the CAs in SSL_CERT_FILE, the peer always verified.

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QUrlQuery>

#include "mail/net/Result.h"

namespace oauth {

class TrustedAccess : public QNetworkAccessManager {
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice* data) override;
};

// The answer of an OAuth2 endpoint: HTTP status and JSON body (empty when it sent none).
struct EndpointReply {
    int status = 0;
    QJsonObject body;
    QString error() const { return body["error"].toString(); }
    // "invalid_grant: the refresh token was revoked", or the HTTP status.
    QString Describe() const;
};

// POSTs the form and waits (bounded, in a local loop taking no user input). An error
// only when no HTTP answer came; an OAuth2 error answer is a reply.
net::Result<EndpointReply> PostForm(QNetworkAccessManager& access, const QUrl& url,
                                    const QUrlQuery& form, int timeoutSeconds = 30);

}  // namespace oauth
