#pragma once
// Access tokens for the mail sessions: the one call a POP3 or SMTP session makes before
// it logs in with a token.
//
// The stored token is handed out while it has more than a minute to live; otherwise it
// is refreshed first. A provider that rotates refresh tokens has its new one stored
// before the access token is handed out, since the old one may already be refused.
// After the mail server refused a token (Need::AfterRefusal) the token is refreshed
// once; a refusal of a token refreshed in the last minute is final. A refresh token the
// provider refused is remembered in the store, and no further request is made with it;
// after a refresh that failed for another reason, none is tried for a minute. So a check
// that fails at every poll still asks the token endpoint at most once a minute.
//
// An error of kind Authentication means that only a new sign-in helps; its message says
// so and names the command. Calls run local event loops that take no user input.

#include <QDateTime>
#include <QHash>
#include <memory>

#include "TokenStore.h"
#include "TrustedAccess.h"
#include "mail/net/Result.h"

namespace oauth {

// The log line's advice after a sign-in that is no longer valid.
QString SignInAgain(const QString& account, const QString& why);

class Tokens {
public:
    enum class Need { Usable, AfterRefusal };

    explicit Tokens(TokenStore store = TokenStore());

    net::Result<QString> AccessToken(const QString& account, Need need = Need::Usable);
    TokenStore& Store() { return store_; }

private:
    TokenStore store_;
    std::unique_ptr<TrustedAccess> access_;  // made on the thread that first asks
    QHash<QString, QDateTime> lastRefresh_, lastFailure_;
};

}  // namespace oauth
