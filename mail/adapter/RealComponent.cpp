#include "mail/ComponentRegistry.h"

namespace mail {
namespace {

const QString kNotBuilt = QStringLiteral("the POP3/SMTP transport is not built into this version");

class UnavailableSmtp : public SmtpMail {
public:
    QString LastError() const override { return kNotBuilt; }
    bool Connect(const QString&) override { return false; }
    bool SetSender(const QString&, const QString&) override { return false; }
    void ClearMail() override {}
    bool SetRecipient(std::int16_t, const QString&, const QString&) override { return false; }
    bool SetSubject(const QString&) override { return false; }
    bool SetDetail(const QString&) override { return false; }
    bool Mail() override { return false; }
};

class UnavailablePop3 : public Pop3Mail {
public:
    QString LastError() const override { return kNotBuilt; }
    bool Connect(const QString&, const QString&, const QString&) override { return false; }
    std::int32_t RecvMail() override { return -1; }
    void SetAutoSave(bool) override {}
    std::int32_t MailCount() override { return 0; }
    std::int32_t OpenNewMail(QString&) override { return -1; }
    bool GetMailInfo(std::int32_t&, QString&, QString&, QString&, QString&, QString&,
                     std::int32_t&) override {
        return false;
    }
    bool DeleteMail(std::int32_t&, std::int16_t) override { return false; }
    void Refresh() override {}
};

}  // namespace

ComponentRegistry ComponentRegistry::WithRealComponent(const QString&) {
    ComponentRegistry registry;
    registry.Register(kSmtpProgId, [] { return std::make_unique<UnavailableSmtp>(); });
    registry.Register(kPop3ProgId, [] { return std::make_unique<UnavailablePop3>(); });
    return registry;
}

}  // namespace mail
