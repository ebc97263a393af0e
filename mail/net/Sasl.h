#pragma once
// The client's side of the SASL mechanisms the mail sessions use, as the base64 lines
// sent after the server's empty challenge ("+ " in POP3, "334 " in SMTP): PLAIN
// (RFC 4616), LOGIN (two lines), XOAUTH2 (Google's and Microsoft's bearer form) and
// OAUTHBEARER (RFC 7628). The same lines may go as an initial response where the
// command line has room for them; POP3 never sends a token that way (RFC 5034 caps a
// command line at 255 octets).

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace net {

enum class SaslMechanism { Plain, Login, XOAuth2, OAuthBearer };

struct SaslCredentials {
    QString user;
    QString secret;     // the password, or the access token for the bearer mechanisms
    QString host = {};  // OAUTHBEARER's host and port fields
    int port = 0;
};

// The mechanism's name as in AUTH.
QByteArray SaslName(SaslMechanism mechanism);

// The lines the client sends, in order, each answering one server challenge.
std::vector<QByteArray> SaslResponses(SaslMechanism mechanism, const SaslCredentials& credentials);

// After a refused token the server sends its error as one more challenge; the client
// answers this (RFC 7628 §3.2.3: a lone %x01; XOAUTH2: an empty line) and then reads the
// failure reply.
QByteArray SaslErrorAcknowledgement(SaslMechanism mechanism);

// For a token log-in: OAUTHBEARER when the server lists it, else XOAUTH2 (which Microsoft
// does not always list). For a password: PLAIN, else LOGIN. offered are the names the
// server announced (any case).
SaslMechanism ChooseSaslMechanism(const QStringList& offered, bool token);

}  // namespace net
