#pragma once
// The token endpoint (RFC 6749 §4.1.3, §6; RFC 8628 §3.4): one grant, one answer.

#include <QNetworkAccessManager>
#include <QUrlQuery>

#include "Token.h"
#include "TrustedAccess.h"
#include "mail/net/Result.h"

namespace oauth {

// The token of a successful answer. previous keeps its refresh token when the answer
// brings none (a provider that does not rotate).
net::Result<Token> ReadTokenReply(const EndpointReply& reply, const Provider& provider,
                                  const Token* previous = nullptr);

// Refreshes the token. An answer of invalid_grant (revoked, expired, already used) is an
// error of kind Authentication: only a new sign-in helps.
net::Result<Token> Refresh(QNetworkAccessManager& access, const Token& token);

}  // namespace oauth
