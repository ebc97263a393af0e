#pragma once
// The client's messages of the SASL mechanisms both sessions use, in one place:
// PLAIN (RFC 4616), LOGIN, XOAUTH2 (Google's and Microsoft's token log-in) and
// OAUTHBEARER (RFC 7628). Each returns the bytes to send, base64-encoded, as POP3's AUTH
// (RFC 5034) and SMTP's AUTH (RFC 4954) carry them.

#include <QByteArray>

namespace net {

QByteArray SaslPlain(const QByteArray& user, const QByteArray& password);
// LOGIN's two answers: the user name, then the password.
QByteArray SaslLoginUser(const QByteArray& user);
QByteArray SaslLoginPassword(const QByteArray& password);
QByteArray SaslXoauth2(const QByteArray& user, const QByteArray& accessToken);
QByteArray SaslOauthBearer(const QByteArray& user, const QByteArray& accessToken);

}  // namespace net
