#include "Token.h"

namespace oauth {

QJsonObject Token::ToJson() const {
    return QJsonObject{{"access_token", accessToken},
                       {"refresh_token", refreshToken},
                       {"expires_at", expiresAt.toUTC().toString(Qt::ISODate)},
                       {"provider", provider.ToJson()},
                       {"refresh_refused", refreshRefused}};
}

Token Token::FromJson(const QJsonObject& json) {
    Token token;
    token.accessToken = json["access_token"].toString();
    token.refreshToken = json["refresh_token"].toString();
    token.expiresAt = QDateTime::fromString(json["expires_at"].toString(), Qt::ISODate);
    token.provider = Provider::FromJson(json["provider"].toObject());
    token.refreshRefused = json["refresh_refused"].toBool();
    return token;
}

QString AccountKey(const QString& protocol, const QString& user, const QString& host, int port) {
    return QStringLiteral("%1 %2@%3:%4").arg(protocol, user, host).arg(port);
}

}  // namespace oauth
