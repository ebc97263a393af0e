#pragma once
// The SMTP object: sends one mail per Mail() over the SMTP session, on its own worker
// thread, on one connection kept open from mail to mail.
//
// A mail whose end of data went unconfirmed (the connection dropped, or the final
// reply was unreadable) may still have been delivered. Sent again, it keeps its
// Message-ID so that the receiver can drop the copy. One whose answer came but could not
// be read (the server most likely took it) is sent at most kMaxUnconfirmedSends times:
// after that it is refused for good and its mails stay on the server. A dropped
// connection is no such sign, so that a mail is sent again once the server is mended.

#include <QHash>
#include <memory>

#include "Worker.h"
#include "mail/MailComponent.h"
#include "mail/ledger/DeliveryLedger.h"
#include "mail/mime/OutgoingMessage.h"
#include "mail/net/Timeouts.h"
#include "mail/oauth/Tokens.h"
#include "mail/smtp/SmtpSession.h"

namespace mail {

class QtSmtpMail : public SmtpMail {
public:
    static constexpr int kMaxUnconfirmedSends = 2;

    QtSmtpMail(std::shared_ptr<ledger::DeliveryLedger> ledger, net::Timeouts timeouts = {});
    ~QtSmtpMail() override;

    QString LastError() const override { return error_; }
    // The server answers EHLO (and accepts AUTH when the setting carries credentials).
    bool Connect(const QString& smtpServer) override;
    bool SetSender(const QString& mailAccount, const QString& displayName) override;
    void ClearMail() override;
    bool SetRecipient(std::int16_t kind, const QString& address, const QString& name) override;
    bool SetSubject(const QString& subject) override;
    bool SetDetail(const QString& body) override;
    bool Mail() override;
    bool LastFailurePermanent() const override { return permanent_; }
    bool LastFailureAuthentication() const override { return authenticationFailed_; }

private:
    bool fail(const QString& why);
    // For a +oauth2 server: the access token, into server_'s password (on the calling
    // thread, before the worker uses it).
    net::Status takeToken(oauth::Tokens::Need need);
    ledger::Failure recordRefused(const QString& reason);
    // The key the Message-ID is made from: the open mail's, or for the digest, one made
    // from the mails it lists, so that the same digest sent again keeps its identity.
    QString messageKey() const;  // uses draft_

    std::shared_ptr<ledger::DeliveryLedger> ledger_;
    net::Timeouts timeouts_;
    mime::OutgoingMail draft_;
    QString sender_, senderName_;
    QString error_;
    bool permanent_ = false;
    bool authenticationFailed_ = false;
    QHash<QString, int> unconfirmedSends_;  // by message key
    std::optional<net::ServerAddress> server_;
    std::unique_ptr<oauth::Tokens> tokens_;  // made for the first +oauth2 server
    // Used on the worker thread only.
    std::unique_ptr<smtp::SmtpSession> session_;
    // Last, so that it ends before the members its tasks use.
    Worker worker_;
};

}  // namespace mail
