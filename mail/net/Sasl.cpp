#include "Sasl.h"

namespace net {

QByteArray SaslName(SaslMechanism mechanism) {
    switch (mechanism) {
        case SaslMechanism::Plain:
            return "PLAIN";
        case SaslMechanism::Login:
            return "LOGIN";
        case SaslMechanism::XOAuth2:
            return "XOAUTH2";
        case SaslMechanism::OAuthBearer:
            return "OAUTHBEARER";
    }
    return {};
}

std::vector<QByteArray> SaslResponses(SaslMechanism mechanism, const SaslCredentials& c) {
    const QByteArray user = c.user.toUtf8(), secret = c.secret.toUtf8();
    switch (mechanism) {
        case SaslMechanism::Plain:
            return {(QByteArray(1, '\0') + user + '\0' + secret).toBase64()};
        case SaslMechanism::Login:
            return {user.toBase64(), secret.toBase64()};
        case SaslMechanism::XOAuth2:
            return {("user=" + user +
                     "\x01"
                     "auth=Bearer " +
                     secret + "\x01\x01")
                        .toBase64()};
        case SaslMechanism::OAuthBearer: {
            // RFC 5801 saslname: ',' and '=' are escaped in the authorization identity.
            QByteArray name = user;
            name.replace("=", "=3D").replace(",", "=2C");
            QByteArray message = "n,a=" + name + ",\x01";
            if (!c.host.isEmpty()) message += "host=" + c.host.toUtf8() + "\x01";
            if (c.port > 0) message += "port=" + QByteArray::number(c.port) + "\x01";
            return {(message + "auth=Bearer " + secret + "\x01\x01").toBase64()};
        }
    }
    return {};
}

QByteArray SaslErrorAcknowledgement(SaslMechanism mechanism) {
    return mechanism == SaslMechanism::OAuthBearer ? QByteArray("\x01").toBase64() : QByteArray();
}

SaslMechanism ChooseSaslMechanism(const QStringList& offered, bool token) {
    if (token)
        return offered.contains(QStringLiteral("OAUTHBEARER"), Qt::CaseInsensitive)
                   ? SaslMechanism::OAuthBearer
                   : SaslMechanism::XOAuth2;
    return offered.contains(QStringLiteral("PLAIN"), Qt::CaseInsensitive) ? SaslMechanism::Plain
                                                                          : SaslMechanism::Login;
}

}  // namespace net
