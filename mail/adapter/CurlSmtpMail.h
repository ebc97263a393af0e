#pragma once
// The SMTP object: sends one mail per Mail() over libcurl, on its own worker thread, on
// one connection kept open from mail to mail.

#include <memory>

#include "CurlSession.h"
#include "DeliveryLedger.h"
#include "OutgoingMessage.h"
#include "Worker.h"
#include "mail/MailComponent.h"

namespace mail {

class CurlSmtpMail : public SmtpMail {
public:
    CurlSmtpMail(std::shared_ptr<DeliveryLedger> ledger, Timeouts timeouts = {});
    ~CurlSmtpMail() override;

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
    struct Sent {
        bool ok = false;
        bool permanent = false;
        QString error;
        QByteArray messageId;
    };
    bool fail(const QString& why);
    Sent send(const QByteArray& message);

    std::shared_ptr<DeliveryLedger> ledger_;
    Timeouts timeouts_;
    OutgoingMail draft_;
    QString sender_, senderName_;
    QString error_;
    bool permanent_ = false;
    bool authenticationFailed_ = false;
    // Used on the worker thread only.
    std::unique_ptr<CurlSession> session_;
    // Last, so that it ends before the members its tasks use.
    Worker worker_;
};

}  // namespace mail
