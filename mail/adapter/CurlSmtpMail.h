#pragma once
// The SMTP object: sends one mail per Mail() over libcurl.

#include "ComponentContext.h"
#include "CurlSession.h"
#include "OutgoingMessage.h"
#include "mail/MailComponent.h"

#include <memory>

namespace mail {

class CurlSmtpMail : public SmtpMail {
public:
    CurlSmtpMail(std::shared_ptr<ComponentContext> context, Timeouts timeouts = {});
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

private:
    bool fail(const QString& why);

    std::shared_ptr<ComponentContext> context_;
    Timeouts timeouts_;
    std::unique_ptr<CurlSession> session_;
    OutgoingMail draft_;
    QString sender_, senderName_;
    QString error_;
};

}  // namespace mail
