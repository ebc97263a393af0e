#include "DeviceFlow.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>

#include "OAuthLog.h"
#include "TokenGrant.h"

namespace oauth {
namespace {

using net::Error;

constexpr int kDefaultIntervalSeconds = 5;  // RFC 8628 §3.2
constexpr int kSlowDownSeconds = 5;         // RFC 8628 §3.5
constexpr int kLookMs = 200;                // how often cancelled() is asked

// Waits the interval in a local loop, asking cancelled() as it goes.
bool pause(int seconds, const std::function<bool()>& cancelled) {
    const QDeadlineTimer until(seconds * 1000);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(kLookMs);
    while (!until.hasExpired()) {
        if (cancelled && cancelled()) return false;
        loop.exec();
    }
    return !(cancelled && cancelled());
}

}  // namespace

net::Result<Token> DeviceSignIn(QNetworkAccessManager& access, const Provider& provider,
                                const std::function<void(const DeviceCode&)>& show,
                                const std::function<bool()>& cancelled) {
    if (provider.deviceEndpoint.isEmpty())
        return Error{Error::Kind::Failed,
                     QStringLiteral("%1 offers no device sign-in (device_authorization_endpoint)")
                         .arg(provider.name)};
    QUrlQuery request;
    request.addQueryItem(QStringLiteral("client_id"), provider.clientId);
    request.addQueryItem(QStringLiteral("scope"), provider.scope);
    auto answer = PostForm(access, provider.deviceEndpoint, request);
    if (!answer) return answer.error();
    const QJsonObject& body = answer.value().body;
    const QString deviceCode = body["device_code"].toString();
    DeviceCode shown{body["user_code"].toString(), body["verification_uri"].toString(),
                     body["verification_uri_complete"].toString()};
    if (shown.verificationUri.isEmpty())  // an early Microsoft name for it
        shown.verificationUri = body["verification_url"].toString();
    if (answer.value().status != 200 || deviceCode.isEmpty() || shown.userCode.isEmpty())
        return Error{
            Error::Kind::Failed,
            QStringLiteral("the device sign-in was refused: %1").arg(answer.value().Describe())};
    int interval = body["interval"].toInt(kDefaultIntervalSeconds);
    interval = std::max(1, interval);
    const QDeadlineTimer expires(qint64(std::max(body["expires_in"].toInt(600), 1)) * 1000);
    show(shown);

    QUrlQuery poll;
    poll.addQueryItem(QStringLiteral("grant_type"),
                      QStringLiteral("urn:ietf:params:oauth:grant-type:device_code"));
    poll.addQueryItem(QStringLiteral("device_code"), deviceCode);
    poll.addQueryItem(QStringLiteral("client_id"), provider.clientId);
    if (!provider.clientSecret.isEmpty())
        poll.addQueryItem(QStringLiteral("client_secret"), provider.clientSecret);
    for (;;) {
        if (!pause(interval, cancelled))
            return Error{Error::Kind::Ending, QStringLiteral("the sign-in was cancelled")};
        if (expires.hasExpired())
            return Error{
                Error::Kind::Failed,
                QStringLiteral("the code %1 expired before it was entered").arg(shown.userCode)};
        auto reply = PostForm(access, provider.tokenEndpoint, poll);
        if (!reply) return reply.error();
        const QString error = reply.value().error();
        if (error == QLatin1String("authorization_pending")) continue;
        if (error == QLatin1String("slow_down")) {
            interval += kSlowDownSeconds;
            qCInfo(lcOAuth) << "the provider asked to poll more slowly; now every" << interval
                            << "s";
            continue;
        }
        return ReadTokenReply(reply.value(), provider);
    }
}

}  // namespace oauth
