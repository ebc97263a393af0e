#include "BrowserFlow.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>
#include <QTimer>

#include "OAuthLog.h"

namespace oauth {
namespace {

using net::Error;

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

}  // namespace

QByteArray NewCodeVerifier() {
    QByteArray random(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), 8);
    return random.toBase64(kBase64Url);
}

QByteArray CodeChallenge(const QByteArray& verifier) {
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
}

net::Result<Token> BrowserSignIn(QNetworkAccessManager& access, const Provider& provider,
                                 const BrowserSignInOptions& options) {
    QOAuthHttpServerReplyHandler handler(QHostAddress(QHostAddress::LocalHost), 0);
    if (!handler.isListening())
        return Error{Error::Kind::Failed,
                     QStringLiteral("cannot listen on 127.0.0.1 for the sign-in's answer")};
    handler.setCallbackText(
        QStringLiteral("Tarnpost: the sign-in is done. You may close this page."));

    QOAuth2AuthorizationCodeFlow flow(&access);
    flow.setAuthorizationUrl(provider.authorizationEndpoint);
    flow.setAccessTokenUrl(provider.tokenEndpoint);
    flow.setClientIdentifier(provider.clientId);
    if (!provider.clientSecret.isEmpty()) flow.setClientIdentifierSharedKey(provider.clientSecret);
    flow.setScope(provider.scope);
    flow.setReplyHandler(&handler);

    // Qt 6.4 has no PKCE of its own: the parameters go in as the requests are built.
    const QByteArray verifier = NewCodeVerifier();
    const bool google =
        provider.authorizationEndpoint.host() == QLatin1String("accounts.google.com");
    flow.setModifyParametersFunction(
        [&](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
            if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
                parameters->insert(QStringLiteral("code_challenge"), CodeChallenge(verifier));
                parameters->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
                if (!options.loginHint.isEmpty())
                    parameters->insert(QStringLiteral("login_hint"), options.loginHint);
                // Google hands out a refresh token only when asked for offline access.
                if (google)
                    parameters->insert(QStringLiteral("access_type"), QStringLiteral("offline"));
            } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
                parameters->insert(QStringLiteral("code_verifier"), verifier);
            }
        });

    QString failure;
    bool browserStarted = true, granted = false;
    QEventLoop loop;
    QObject::connect(&flow, &QAbstractOAuth::authorizeWithBrowser, [&](const QUrl& url) {
        browserStarted = options.openBrowser && options.openBrowser(url);
        if (!browserStarted) loop.quit();
    });
    QObject::connect(&flow, &QAbstractOAuth::granted, [&] {
        granted = true;
        loop.quit();
    });
    QObject::connect(&flow, &QAbstractOAuth2::error,
                     [&](const QString& error, const QString& description, const QUrl&) {
                         failure = description.isEmpty() ? error : error + ": " + description;
                         loop.quit();
                     });
    QObject::connect(&flow, &QAbstractOAuth::requestFailed, [&](QAbstractOAuth::Error error) {
        if (failure.isEmpty())
            failure = QStringLiteral("the token request failed (%1)").arg(int(error));
        loop.quit();
    });
    QTimer tick;
    const QDeadlineTimer deadline(qint64(options.timeoutSeconds) * 1000);
    bool cancelled = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        cancelled = options.cancelled && options.cancelled();
        if (cancelled || deadline.hasExpired()) loop.quit();
    });
    tick.start(200);
    flow.grant();
    if (browserStarted && !granted && failure.isEmpty()) loop.exec();
    handler.close();

    if (!browserStarted)
        return Error{Error::Kind::Failed, QStringLiteral("no browser could be started")};
    if (granted && !flow.token().isEmpty()) {
        Token token;
        token.accessToken = flow.token();
        token.refreshToken = flow.refreshToken();
        token.expiresAt = flow.expirationAt().toUTC();
        token.provider = provider;
        return token;
    }
    if (!failure.isEmpty())
        return Error{Error::Kind::Failed, QStringLiteral("the sign-in failed: %1").arg(failure)};
    if (cancelled) return Error{Error::Kind::Ending, QStringLiteral("the sign-in was cancelled")};
    return Error{
        Error::Kind::Failed,
        QStringLiteral("the sign-in did not finish within %1 s").arg(options.timeoutSeconds)};
}

}  // namespace oauth
