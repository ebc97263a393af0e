#include "TokenGrant.h"

#include <QDateTime>

namespace oauth {

using net::Error;

net::Result<Token> ReadTokenReply(const EndpointReply& reply, const Provider& provider,
                                  const Token* previous) {
    const QString accessToken = reply.body["access_token"].toString();
    if (reply.status != 200 || accessToken.isEmpty())
        return Error{reply.error() == QLatin1String("invalid_grant") ? Error::Kind::Authentication
                                                                     : Error::Kind::Failed,
                     QStringLiteral("the token endpoint refused: %1").arg(reply.Describe())};
    Token token;
    token.accessToken = accessToken;
    token.refreshToken = reply.body["refresh_token"].toString();
    if (token.refreshToken.isEmpty() && previous) token.refreshToken = previous->refreshToken;
    const qint64 lifetime = reply.body["expires_in"].toVariant().toLongLong();
    if (lifetime > 0) token.expiresAt = QDateTime::currentDateTimeUtc().addSecs(lifetime);
    token.provider = provider;
    return token;
}

net::Result<Token> Refresh(QNetworkAccessManager& access, const Token& token) {
    if (token.refreshToken.isEmpty())
        return Error{Error::Kind::Authentication,
                     QStringLiteral("the provider gave no refresh token")};
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
    form.addQueryItem(QStringLiteral("refresh_token"), token.refreshToken);
    form.addQueryItem(QStringLiteral("client_id"), token.provider.clientId);
    if (!token.provider.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"), token.provider.clientSecret);
    auto reply = PostForm(access, token.provider.tokenEndpoint, form);
    if (!reply) return reply.error();
    return ReadTokenReply(reply.value(), token.provider, &token);
}

}  // namespace oauth
