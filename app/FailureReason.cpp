#include "FailureReason.h"

#include <QRegularExpression>

#include "Texts.h"

namespace app {

QString WithoutCredentials(const QString& server) {
    const qsizetype scheme = server.indexOf(QStringLiteral("://"));
    const qsizetype at = server.lastIndexOf(u'@');
    if (scheme < 0 || at < scheme) return server;
    return server.left(scheme + 3) + server.mid(at + 1);
}

QString UrlPassword(const QString& server) {
    const qsizetype scheme = server.indexOf(QStringLiteral("://"));
    const qsizetype at = server.lastIndexOf(u'@');
    if (scheme < 0 || at < scheme) return {};
    const qsizetype colon = server.indexOf(u':', scheme + 3);
    return colon < 0 || colon > at ? QString() : server.mid(colon + 1, at - colon - 1);
}

QString SetUpReasonText(const QString& reason, bool authentication) {
    if (authentication) return kReasonAuthentication;
    const auto says = [&](const char* words) {
        return reason.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    // Qt's socket errors and the sessions' own wording.
    if (says("host not found") || says("resolve") || says("name or service not known"))
        return kReasonHostNotFound;
    if (says("certificate")) return kReasonCertificate;
    if (says("did not set up encryption") || says("handshake")) return kReasonNoEncryption;
    if (says("timed out") || says("within") || says("sent nothing") || says("took longer"))
        return kReasonNoAnswer;
    return kReasonCannotConnect;
}

QString FailureDetail(const QString& server, QString reason, const QStringList& secrets) {
    // Where it stands as a word of its own: a short password ("p") is a letter of
    // many words too.
    for (const QString& secret : secrets)
        if (!secret.isEmpty())
            reason.replace(QRegularExpression(QStringLiteral("(?<![\\p{L}\\p{N}])") +
                                              QRegularExpression::escape(secret) +
                                              QStringLiteral("(?![\\p{L}\\p{N}])")),
                           QStringLiteral("***"));
    reason = reason.simplified();
    return server.isEmpty() ? reason : WithoutCredentials(server) + QStringLiteral(": ") + reason;
}

}  // namespace app
