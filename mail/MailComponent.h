#pragma once
// The mail component as the program calls it: two objects, "Corvex.SMTPMail" and
// "Corvex.POP3Mail", with members named and ordered as the program uses them.
// Results are plain values; failures are reported only through results (a false
// boolean, a negative count or mail number), never by exceptions across this interface.

#include <QString>
#include <cstdint>

namespace mail {

// Common base so that objects can be created from a programmatic identifier.
class ComponentObject {
public:
    virtual ~ComponentObject() = default;
    // Why the last member that reported failure failed; empty after a success.
    virtual QString LastError() const = 0;
    // Whether the last failed Connect was the server refusing the credentials: trying
    // again unchanged would only fail again and may lock the account.
    virtual bool LastFailureAuthentication() const { return false; }
};

class SmtpMail : public ComponentObject {
public:
    virtual bool Connect(const QString& smtpServer) = 0;
    virtual bool SetSender(const QString& mailAccount, const QString& displayName) = 0;
    virtual void ClearMail() = 0;
    // kind 1 is the To: recipient; name is an optional display name.
    virtual bool SetRecipient(std::int16_t kind, const QString& address, const QString& name) = 0;
    virtual bool SetSubject(const QString& subject) = 0;
    virtual bool SetDetail(const QString& body) = 0;
    // Sends what was set; true only once the server accepted the message.
    virtual bool Mail() = 0;
    // Whether the last Mail() that failed was refused for good by the server (a 5xx
    // answer to the message itself), so that sending it again would fail again.
    virtual bool LastFailurePermanent() const { return false; }
};

class Pop3Mail : public ComponentObject {
public:
    virtual bool Connect(const QString& pop3Server, const QString& userName,
                         const QString& password) = 0;
    // Number of new mails; 0 none; negative on failure.
    virtual std::int32_t RecvMail() = 0;
    virtual void SetAutoSave(bool on) = 0;
    virtual std::int32_t MailCount() = 0;
    // Fills body with the next new mail's text; returns its number, 0 when none is
    // left, negative on failure.
    virtual std::int32_t OpenNewMail(QString& body) = 0;
    virtual bool GetMailInfo(std::int32_t& mailNo, QString& displayName, QString& address,
                             QString& dateText, QString& subject, QString& other,
                             std::int32_t& attachCount) = 0;
    // mode 2: remove from the server (once the cycle has delivered it, see Refresh).
    virtual bool DeleteMail(std::int32_t& mailNo, std::int16_t mode) = 0;
    virtual void Refresh() = 0;
};

}  // namespace mail
