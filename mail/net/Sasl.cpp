#include "Sasl.h"

namespace net {

QByteArray SaslPlain(const QByteArray& user, const QByteArray& password) {
    return (QByteArray(1, '\0') + user + '\0' + password).toBase64();
}

QByteArray SaslLoginUser(const QByteArray& user) { return user.toBase64(); }

QByteArray SaslLoginPassword(const QByteArray& password) { return password.toBase64(); }

QByteArray SaslXoauth2(const QByteArray& user, const QByteArray& accessToken) {
    return ("user=" + user + "\x01" + "auth=Bearer " + accessToken + "\x01\x01").toBase64();
}

QByteArray SaslOauthBearer(const QByteArray& user, const QByteArray& accessToken) {
    // The GS2 header's authorization identity escapes ',' and '=' (RFC 5801).
    QByteArray name = user;
    name.replace("=", "=3D").replace(",", "=2C");
    return ("n,a=" + name + ",\x01" + "auth=Bearer " + accessToken + "\x01\x01").toBase64();
}

}  // namespace net
