#pragma once
// Scripted doubles of the mail component for unit tests of the cycle and the supervisor.
// Every member call is recorded in one shared log, in order.

#include <QStringList>
#include <deque>
#include <memory>
#include <vector>

#include "mail/MailComponent.h"

namespace testutil {

struct FakeMail {
    QString body, senderName, senderAddress, dateText, subject;
    std::int32_t attachCount = 0;
};

struct CallLog {
    QStringList calls;
    bool contains(const QString& call) const { return calls.contains(call); }
    qsizetype count(const QString& call) const { return calls.count(call); }
};

class FakeSmtp : public mail::SmtpMail {
public:
    explicit FakeSmtp(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

    struct Sent {
        QString recipient, subject, body;
    };

    // Results to give; "Mail" fails for the sends listed in failMailAt (0-based).
    bool connectResult = true, senderResult = true, recipientResult = true, subjectResult = true,
         detailResult = true;
    std::vector<int> failMailAt;
    bool failPermanently = false;  // the failures above are refusals for good
    QString refuseBodyWith;        // "Mail" refuses for good every mail whose body holds it
    std::vector<Sent> sent;
    QString connectedTo, sender, senderName;

    QString LastError() const override { return QStringLiteral("scripted failure"); }
    bool LastFailurePermanent() const override { return failPermanently || refusedForContent_; }
    bool Connect(const QString& server) override {
        log_->calls << QStringLiteral("smtp.Connect");
        connectedTo = server;
        return connectResult;
    }
    bool SetSender(const QString& account, const QString& name) override {
        log_->calls << QStringLiteral("smtp.SetSender");
        sender = account;
        senderName = name;
        return senderResult;
    }
    void ClearMail() override {
        log_->calls << QStringLiteral("smtp.ClearMail");
        draft_ = {};
    }
    bool SetRecipient(std::int16_t kind, const QString& address, const QString& name) override {
        log_->calls << QStringLiteral("smtp.SetRecipient");
        draft_.recipient = (kind == 1 && name.isEmpty()) ? address : QStringLiteral("?");
        return recipientResult;
    }
    bool SetSubject(const QString& subject) override {
        log_->calls << QStringLiteral("smtp.SetSubject");
        draft_.subject = subject;
        return subjectResult;
    }
    bool SetDetail(const QString& body) override {
        log_->calls << QStringLiteral("smtp.SetDetail");
        draft_.body = body;
        return detailResult;
    }
    bool Mail() override {
        log_->calls << QStringLiteral("smtp.Mail");
        const int attempt = attempts_++;
        refusedForContent_ = false;
        for (int failing : failMailAt)
            if (failing == attempt) return false;
        if (!refuseBodyWith.isEmpty() && draft_.body.contains(refuseBodyWith)) {
            refusedForContent_ = true;
            return false;
        }
        sent.push_back(draft_);
        return true;
    }

private:
    std::shared_ptr<CallLog> log_;
    Sent draft_;
    int attempts_ = 0;
    bool refusedForContent_ = false;
};

class FakePop3 : public mail::Pop3Mail {
public:
    explicit FakePop3(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

    bool connectResult = true;
    bool authenticationFailure = false;  // a failed Connect was the credentials' fault
    QString error = QStringLiteral("scripted failure");
    std::int32_t recvResult = 0;   // when no mails are queued: what RecvMail reports
    std::int32_t openFailAt = -1;  // OpenNewMail fails at this 0-based call
    std::int32_t mailCount = 0;
    std::deque<FakeMail> mailbox;
    std::vector<std::int32_t> deleted;
    bool autoSave = false;
    std::vector<bool> autoSaveSets;
    int refreshes = 0;
    QString server, user, password;

    QString LastError() const override { return error; }
    bool LastFailureAuthentication() const override { return authenticationFailure; }
    bool Connect(const QString& s, const QString& u, const QString& p) override {
        log_->calls << QStringLiteral("pop3.Connect");
        server = s, user = u, password = p;
        return connectResult;
    }
    std::int32_t RecvMail() override {
        log_->calls << QStringLiteral("pop3.RecvMail");
        opened_ = 0;
        return mailbox.empty() ? recvResult : static_cast<std::int32_t>(mailbox.size());
    }
    void SetAutoSave(bool on) override {
        autoSave = on;
        autoSaveSets.push_back(on);
    }
    std::int32_t MailCount() override {
        log_->calls << QStringLiteral("pop3.MailCount");
        return mailCount;
    }
    std::int32_t OpenNewMail(QString& body) override {
        log_->calls << QStringLiteral("pop3.OpenNewMail");
        if (opened_ == openFailAt) return -1;
        if (mailbox.empty()) return 0;
        current_ = mailbox.front();
        mailbox.pop_front();
        body = current_.body;
        return ++opened_;
    }
    bool GetMailInfo(std::int32_t& mailNo, QString& name, QString& address, QString& date,
                     QString& subject, QString& other, std::int32_t& attachCount) override {
        log_->calls << QStringLiteral("pop3.GetMailInfo");
        if (mailNo != opened_) return false;
        name = current_.senderName, address = current_.senderAddress;
        date = current_.dateText, subject = current_.subject;
        other.clear();
        attachCount = current_.attachCount;
        return true;
    }
    bool DeleteMail(std::int32_t& mailNo, std::int16_t mode) override {
        log_->calls << QStringLiteral("pop3.DeleteMail");
        if (mode == 2) deleted.push_back(mailNo);
        return true;
    }
    void Refresh() override {
        log_->calls << QStringLiteral("pop3.Refresh");
        ++refreshes;
    }

private:
    std::shared_ptr<CallLog> log_;
    FakeMail current_;
    std::int32_t opened_ = 0;
};

}  // namespace testutil
