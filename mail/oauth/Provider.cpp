#include "Provider.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>

namespace oauth {
namespace {

using net::Error;

const char* const kMicrosoftHosts[] = {"outlook.office365.com", "smtp.office365.com",
                                       "pop-mail.outlook.com", "smtp-mail.outlook.com"};
const char* const kGoogleHosts[] = {"pop.gmail.com", "smtp.gmail.com"};

template <size_t N>
bool among(const QString& host, const char* const (&hosts)[N]) {
    for (const char* known : hosts)
        if (host.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) return true;
    return false;
}

// Tokens and codes cross only over TLS; a loopback endpoint is the user's own machine.
bool safeEndpoint(const QUrl& url) {
    if (url.scheme() == QLatin1String("https")) return !url.host().isEmpty();
    const QHostAddress address(url.host());
    return url.scheme() == QLatin1String("http") && !address.isNull() && address.isLoopback();
}

}  // namespace

QJsonObject Provider::ToJson() const {
    QJsonObject json{{"name", name},
                     {"authorization_endpoint", authorizationEndpoint.toString()},
                     {"token_endpoint", tokenEndpoint.toString()},
                     {"client_id", clientId},
                     {"scope", scope}};
    if (!deviceEndpoint.isEmpty())
        json["device_authorization_endpoint"] = deviceEndpoint.toString();
    if (!clientSecret.isEmpty()) json["client_secret"] = clientSecret;
    return json;
}

Provider Provider::FromJson(const QJsonObject& json) {
    Provider provider;
    provider.name = json["name"].toString();
    provider.authorizationEndpoint = QUrl(json["authorization_endpoint"].toString());
    provider.tokenEndpoint = QUrl(json["token_endpoint"].toString());
    provider.deviceEndpoint = QUrl(json["device_authorization_endpoint"].toString());
    provider.clientId = json["client_id"].toString();
    provider.clientSecret = json["client_secret"].toString();
    provider.scope = json["scope"].toString();
    return provider;
}

std::optional<Provider> BuiltInProvider(const QString& host) {
    if (among(host, kGoogleHosts))
        return Provider{QStringLiteral("Google"),
                        QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
                        QUrl(QStringLiteral("https://oauth2.googleapis.com/token")),
                        QUrl(QStringLiteral("https://oauth2.googleapis.com/device/code")),
                        QString(),
                        QString(),
                        QStringLiteral("https://mail.google.com/")};
    if (among(host, kMicrosoftHosts)) {
        const QString base =
            QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/");
        return Provider{QStringLiteral("Microsoft"),
                        QUrl(base + "authorize"),
                        QUrl(base + "token"),
                        QUrl(base + "devicecode"),
                        QString(),
                        QString(),
                        QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All "
                                       "https://outlook.office.com/SMTP.Send offline_access")};
    }
    return std::nullopt;
}

net::Result<Provider> ResolveProvider(const QString& host, const QString& file) {
    Provider provider = BuiltInProvider(host).value_or(Provider{});
    if (!file.isEmpty()) {
        QFile input(file);
        if (!input.open(QIODevice::ReadOnly))
            return Error{Error::Kind::Failed, QStringLiteral("cannot read the provider file %1: %2")
                                                  .arg(file, input.errorString())};
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &parseError);
        if (!document.isObject())
            return Error{Error::Kind::Failed,
                         QStringLiteral("the provider file %1 is not a JSON object: %2")
                             .arg(file, parseError.errorString())};
        const QJsonObject given = document.object();
        QJsonObject merged = provider.ToJson();
        for (auto it = given.begin(); it != given.end(); ++it) merged[it.key()] = it.value();
        if (!given.contains("name"))
            merged["name"] = provider.name.isEmpty() ? QFileInfo(file).fileName() : provider.name;
        provider = Provider::FromJson(merged);
    }
    auto missing = [&](const QString& what) {
        return Error{Error::Kind::Failed,
                     QStringLiteral("no OAuth2 %1 is known for %2; give it in the provider file "
                                    "(--oauth-provider FILE)")
                         .arg(what, host)};
    };
    if (provider.authorizationEndpoint.isEmpty() || provider.tokenEndpoint.isEmpty())
        return missing(QStringLiteral("provider"));
    if (provider.clientId.isEmpty()) return missing(QStringLiteral("client ID"));
    for (const QUrl& endpoint :
         {provider.authorizationEndpoint, provider.tokenEndpoint, provider.deviceEndpoint}) {
        if (!endpoint.isEmpty() && !safeEndpoint(endpoint))
            return Error{
                Error::Kind::Failed,
                QStringLiteral("the OAuth2 endpoint %1 is not https").arg(endpoint.toString())};
    }
    return provider;
}

}  // namespace oauth
