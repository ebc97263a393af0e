#pragma once
// What the user is told of a failure beyond "it failed": a set-up box's reason in
// Japanese, and the server's answer for the status line's tooltip and the tray tip.
// Neither ever carries a secret.

#include <QString>
#include <QStringList>

namespace app {

// A server setting fit for a log or a tooltip: an SMTP URL may carry user:password@.
QString WithoutCredentials(const QString& server);

// The password part of an SMTP URL's user:password@, or empty.
QString UrlPassword(const QString& server);

// The box's informative text for a failed Connect: authentication when the component
// says so, else what its reason names (an unknown host, a certificate, no encryption, no
// answer), else that no connection could be made.
QString SetUpReasonText(const QString& reason, bool authentication);

// "server: reason", the server without credentials and each secret in the reason
// blanked (a server that echoes a command line would echo the password with it).
QString FailureDetail(const QString& server, QString reason, const QStringList& secrets);

}  // namespace app
