#include "ServerAddress.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

namespace net {
namespace {

struct Scheme {
    const char* name;
    Protocol protocol;
    bool tls;
    int port;
    const char* canonical;  // the scheme of the url kept in ServerAddress
    bool cleartext;
    bool oauth2;
};

constexpr Scheme kSchemes[] = {
    {"pop3", Protocol::Pop3, false, 110, "pop3", false, false},
    {"pop3s", Protocol::Pop3, true, 995, "pop3s", false, false},
    {"pop3+cleartext", Protocol::Pop3, false, 110, "pop3", true, false},
    {"pop3+oauth2", Protocol::Pop3, false, 110, "pop3", false, true},
    {"pop3s+oauth2", Protocol::Pop3, true, 995, "pop3s", false, true},
    {"smtp", Protocol::Smtp, false, 25, "smtp", false, false},
    {"smtps", Protocol::Smtp, true, 465, "smtps", false, false},
    {"smtp+cleartext", Protocol::Smtp, false, 25, "smtp", true, false},
    {"smtp+oauth2", Protocol::Smtp, false, 587, "smtp", false, true},
    {"smtps+oauth2", Protocol::Smtp, true, 465, "smtps", false, true},
};

const Scheme* findScheme(const QString& name, Protocol protocol) {
    for (const Scheme& scheme : kSchemes)
        if (name == QLatin1String(scheme.name) && scheme.protocol == protocol) return &scheme;
    return nullptr;
}

bool isLoopback(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

}  // namespace

QString RedactServerSetting(const QString& setting) {
    const qsizetype schemeEnd = setting.indexOf(QLatin1String("://"));
    const qsizetype start = schemeEnd < 0 ? 0 : schemeEnd + 3;
    // The last '@' ends the user information, so a password holding '@' is covered too.
    const qsizetype at = setting.lastIndexOf(u'@');
    if (at < start) return setting;
    const qsizetype colon = setting.indexOf(u':', start);
    if (colon < 0 || colon > at) return setting;
    return setting.left(colon + 1) + QLatin1String("***") + setting.mid(at);
}

QString CleartextWarning(const QString& protocol, const QString& server) {
    return QStringLiteral(
               "%1 server %2 is reached without encryption, as the setting asks (+cleartext)")
        .arg(protocol, server);
}

QString NoEncryptionOffered(const QString& host, int port, const char* command,
                            const char* cleartextScheme) {
    return QStringLiteral(
               "the server %1:%2 did not set up encryption (%3), so no password was sent; to "
               "connect without encryption, set the server as %4://%1:%2")
        .arg(host)
        .arg(port)
        .arg(QLatin1String(command), QLatin1String(cleartextScheme));
}

std::optional<ServerAddress> ParseServerAddress(const QString& setting, Protocol protocol,
                                                QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return std::nullopt;
    };
    const QString text = setting.trimmed();
    const QString shown = RedactServerSetting(text);
    if (text.isEmpty()) return fail(QStringLiteral("no server is set"));
    if (text.contains(QRegularExpression(QStringLiteral("[\\s\\x00-\\x1f]"))))
        return fail(QStringLiteral("the server \"%1\" contains blanks").arg(shown));

    const bool hasScheme = text.contains(QStringLiteral("://"));
    QString forUrl = hasScheme ? text : QStringLiteral("x://") + text;
    // An account that is a mail address (me@example.com@host): the last '@' ends it.
    const qsizetype userStart = forUrl.indexOf(QLatin1String("://")) + 3;
    const qsizetype lastAt = forUrl.lastIndexOf(u'@');
    if (lastAt > userStart)
        forUrl = forUrl.left(userStart) +
                 forUrl.mid(userStart, lastAt - userStart).replace(u'@', QLatin1String("%40")) +
                 forUrl.mid(lastAt);
    const QUrl url(forUrl, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return fail(QStringLiteral("\"%1\" is not a server name").arg(shown));
    if (!url.path().isEmpty() && url.path() != QStringLiteral("/"))
        return fail(QStringLiteral("\"%1\" has a path; give only the server").arg(shown));

    const Scheme* scheme = nullptr;
    if (hasScheme) {
        scheme = findScheme(url.scheme().toLower(), protocol);
        if (!scheme)
            return fail(QStringLiteral("\"%1\" is not a %2 address")
                            .arg(shown, protocol == Protocol::Pop3 ? QStringLiteral("POP3")
                                                                   : QStringLiteral("SMTP")));
    } else {
        // The well-known TLS ports mean implicit TLS even without a scheme.
        const int port = url.port();
        const bool tls = protocol == Protocol::Pop3 ? port == 995 : port == 465;
        scheme = findScheme(QLatin1String(protocol == Protocol::Pop3 ? "pop3" : "smtp") +
                                (tls ? QStringLiteral("s") : QString()),
                            protocol);
    }
    if (protocol == Protocol::Pop3 && !url.userInfo().isEmpty())
        return fail(QStringLiteral("give the POP3 user name and password in their own fields"));
    if (scheme->oauth2 && protocol == Protocol::Smtp && url.userName().isEmpty())
        return fail(
            QStringLiteral("\"%1\" needs the account: %2://user@host").arg(shown, url.scheme()));

    const QString host = url.host().contains(u':') ? u'[' + url.host() + u']' : url.host();
    ServerAddress address;
    address.url = QStringLiteral("%1://%2:%3")
                      .arg(QLatin1String(scheme->canonical), host)
                      .arg(url.port(scheme->port));
    address.host = url.host();
    address.port = static_cast<quint16>(url.port(scheme->port));
    address.implicitTls = scheme->tls;
    address.user = url.userName(QUrl::FullyDecoded);
    address.password = url.password(QUrl::FullyDecoded);
    address.cleartext = scheme->cleartext;
    address.oauth2 = scheme->oauth2;
    // A bearer token is worth as much as a password anywhere: TLS even on loopback.
    address.requireTls =
        !scheme->tls && !scheme->cleartext && (scheme->oauth2 || !isLoopback(url.host()));
    return address;
}

}  // namespace net
