#include "TrustedAccess.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTimer>
#include <memory>

#include "mail/net/TrustRule.h"

namespace oauth {

QNetworkReply* TrustedAccess::createRequest(Operation operation, const QNetworkRequest& request,
                                            QIODevice* data) {
    QNetworkRequest trusted(request);
    trusted.setSslConfiguration(net::TrustedTlsConfiguration());
    return QNetworkAccessManager::createRequest(operation, trusted, data);
}

QString EndpointReply::Describe() const {
    const QString code = error();
    if (code.isEmpty()) return QStringLiteral("HTTP status %1").arg(status);
    const QString description = body["error_description"].toString();
    return description.isEmpty() ? code : code + QStringLiteral(": ") + description;
}

net::Result<EndpointReply> PostForm(QNetworkAccessManager& access, const QUrl& url,
                                    const QUrlQuery& form, int timeoutSeconds) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutSeconds * 1000);
    // Every byte of '+' and '&' in a value must arrive as itself.
    QByteArray body = form.toString(QUrl::FullyEncoded).toUtf8();
    body.replace('+', "%2B");
    std::unique_ptr<QNetworkReply> reply(access.post(request, body));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    EndpointReply answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (answer.status == 0)
        return net::Error{net::Error::Kind::Failed,
                          QStringLiteral("no answer from %1: %2")
                              .arg(url.toString(QUrl::RemoveQuery), reply->errorString())};
    answer.body = QJsonDocument::fromJson(reply->readAll()).object();
    return answer;
}

}  // namespace oauth
