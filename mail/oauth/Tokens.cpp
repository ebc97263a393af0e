#include "Tokens.h"

#include "OAuthLog.h"
#include "TokenGrant.h"

namespace oauth {
namespace {

using net::Error;

constexpr int kEarlySeconds = 60;       // refresh a token this long before it expires
constexpr int kRefreshGapSeconds = 60;  // no second refresh of an account within this

}  // namespace

QString SignInAgain(const QString& account, const QString& why) {
    return QStringLiteral(
               "the OAuth2 sign-in for %1 is no longer valid (%2); sign in again "
               "with: tarnpost --sign-in")
        .arg(account, why);
}

Tokens::Tokens(TokenStore store) : store_(std::move(store)) {}

net::Result<QString> Tokens::AccessToken(const QString& account, Need need) {
    auto loaded = store_.Load(account);
    if (!loaded) return loaded.error();
    if (!loaded.value())
        return Error{Error::Kind::Authentication,
                     QStringLiteral("no OAuth2 sign-in is stored for %1; sign in with: tarnpost "
                                    "--sign-in")
                         .arg(account)};
    Token token = *loaded.value();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool fresh = token.expiresAt.isValid()
                           ? now.secsTo(token.expiresAt) > kEarlySeconds
                           : true;  // no lifetime given: good until the server refuses it
    if (need == Need::Usable && fresh) return token.accessToken;

    auto recently = [&](const QHash<QString, QDateTime>& when) {
        return when.contains(account) && when[account].secsTo(now) < kRefreshGapSeconds;
    };
    if (token.refreshRefused)
        return Error{
            Error::Kind::Authentication,
            SignInAgain(account, QStringLiteral("the provider refused the refresh token"))};
    if (need == Need::AfterRefusal && recently(lastRefresh_))
        return Error{Error::Kind::Authentication,
                     SignInAgain(account, QStringLiteral("the server refused a new token"))};
    if (recently(lastFailure_))
        return Error{Error::Kind::Failed,
                     QStringLiteral("the last token refresh for %1 failed; the next is tried a "
                                    "minute after it")
                         .arg(account)};

    if (!access_) access_ = std::make_unique<TrustedAccess>();
    qCInfo(lcOAuth).noquote() << "refreshing the access token for" << account;
    auto refreshed = Refresh(*access_, token);
    if (!refreshed) {
        lastFailure_[account] = now;
        if (refreshed.error().kind != Error::Kind::Authentication) return refreshed.error();
        token.refreshRefused = true;
        if (net::Status saved = store_.Save(account, token); !saved) return saved.error();
        const QString advice = SignInAgain(account, refreshed.error().message);
        qCWarning(lcOAuth).noquote() << advice;
        return Error{Error::Kind::Authentication, advice};
    }
    // Stored before use: a rotating provider has already forgotten the old refresh token.
    if (net::Status saved = store_.Save(account, refreshed.value()); !saved) return saved.error();
    lastRefresh_[account] = now;
    lastFailure_.remove(account);
    return refreshed.value().accessToken;
}

}  // namespace oauth
