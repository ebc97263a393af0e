#include "ServerAddress.h"

#include <QRegularExpression>
#include <QUrl>

namespace mail {
namespace {

struct Scheme {
    const char* name;
    Protocol protocol;
    bool tls;
    int port;
};

constexpr Scheme kSchemes[] = {
    {"pop3", Protocol::Pop3, false, 110},
    {"pop3s", Protocol::Pop3, true, 995},
    {"smtp", Protocol::Smtp, false, 25},
    {"smtps", Protocol::Smtp, true, 465},
};

const Scheme* findScheme(const QString& name, Protocol protocol) {
    for (const Scheme& scheme : kSchemes)
        if (name == QLatin1String(scheme.name) && scheme.protocol == protocol) return &scheme;
    return nullptr;
}

}  // namespace

std::optional<ServerAddress> ParseServerAddress(const QString& setting, Protocol protocol,
                                                QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return std::nullopt;
    };
    const QString text = setting.trimmed();
    if (text.isEmpty()) return fail(QStringLiteral("no server is set"));
    if (text.contains(QRegularExpression(QStringLiteral("[\\s\\x00-\\x1f]"))))
        return fail(QStringLiteral("the server \"%1\" contains blanks").arg(text));

    const bool hasScheme = text.contains(QStringLiteral("://"));
    const QUrl url(hasScheme ? text : QStringLiteral("x://") + text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return fail(QStringLiteral("\"%1\" is not a server name").arg(text));
    if (!url.path().isEmpty() && url.path() != QStringLiteral("/"))
        return fail(QStringLiteral("\"%1\" has a path; give only the server").arg(text));

    const Scheme* scheme = nullptr;
    if (hasScheme) {
        scheme = findScheme(url.scheme().toLower(), protocol);
        if (!scheme)
            return fail(QStringLiteral("\"%1\" is not a %2 address")
                            .arg(text, protocol == Protocol::Pop3 ? QStringLiteral("POP3")
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

    const QString host = url.host().contains(u':') ? u'[' + url.host() + u']' : url.host();
    ServerAddress address;
    address.url = QStringLiteral("%1://%2:%3")
                      .arg(QLatin1String(scheme->name), host)
                      .arg(url.port(scheme->port));
    address.implicitTls = scheme->tls;
    address.user = url.userName(QUrl::FullyDecoded);
    address.password = url.password(QUrl::FullyDecoded);
    return address;
}

}  // namespace mail
