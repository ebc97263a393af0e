#pragma once
// The POP3 object. A check is one POP3 session on one connection: RecvMail lists the
// mailbox (UIDL and LIST), OpenNewMail hands out one message at a time, DeleteMail only
// records, and Refresh, once the cycle has delivered everything, sends the DELEs and
// QUIT. No DELE reaches the server earlier, so a failed check, a dropped connection or
// a killed process deletes nothing that was not delivered.
//
// New mail: in Forwarding mode every message not yet delivered; in Check-only mode every
// message neither delivered nor announced before (the journal remembers both across
// restarts). AutoSave true records the reported messages as announced, in Check-only
// mode only. MailCount is the number of undelivered messages waiting in the mailbox at
// the last RecvMail. Mails kept on the server (too large, or refused for ever as a whole
// forward) are not new again once a digest listed them.
//
// While the cycle handles one message, the next one is already being retrieved and read
// on the object's worker thread, with a bounded window of retrievals in flight when the
// server pipelines. A message larger than the size limit is not retrieved: its headers
// are read instead and its body says why; it stays on the server.
//
// A UID the server gives to more than one message identifies neither, and a message
// listed without a usable UID (Pop3Session::List) has none: such messages are new at
// every check until a check deletes them, and each is deleted by its own number.
//
// DeleteMail ends the open mail and lists it for the next digest; Refresh deletes what
// was DeleteMail'd and the ledger has as delivered (a mail of a digest refused for good
// that the cycle did not list again stays).

#include <QDeadlineTimer>
#include <QSet>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "Worker.h"
#include "mail/MailComponent.h"
#include "mail/ledger/DeliveryLedger.h"
#include "mail/mime/MessageReader.h"
#include "mail/net/Timeouts.h"
#include "mail/oauth/Tokens.h"
#include "mail/pop3/Limits.h"
#include "mail/pop3/Pop3Session.h"

namespace mail {

class QtPop3Mail : public Pop3Mail {
public:
    QtPop3Mail(std::shared_ptr<ledger::DeliveryLedger> ledger, net::Timeouts timeouts = {},
               pop3::Limits limits = {});
    ~QtPop3Mail() override;

    QString LastError() const override { return error_; }
    bool LastFailureAuthentication() const override { return authenticationFailed_; }
    bool Connect(const QString& pop3Server, const QString& userName,
                 const QString& password) override;
    std::int32_t RecvMail() override;
    void SetAutoSave(bool on) override;
    std::int32_t MailCount() override { return mailCount_; }
    std::int32_t OpenNewMail(QString& body) override;
    bool GetMailInfo(std::int32_t& mailNo, QString& displayName, QString& address,
                     QString& dateText, QString& subject, QString& other,
                     std::int32_t& attachCount) override;
    bool DeleteMail(std::int32_t& mailNo, std::int16_t mode) override;
    void Refresh() override;

private:
    struct NewMail {
        pop3::Pop3Listed listed;
        bool uidShared = false;  // the server gave its UID to another message too
        bool tooLarge = false;
    };
    struct Fetched {
        mime::ReadMail mail;
        ledger::LedgerMail ledgerMail;
        ledger::ForwardContent content;
    };

    // On the worker: retrieves and reads new_[index].
    net::Result<Fetched> fetch(qsizetype index);
    void startAhead();
    // Waits for the retrieval running ahead, if any, and drops its result.
    void settleAhead();
    // Sends the DELEs and QUIT; the session is over either way.
    void deleteAndQuit(const std::vector<int>& numbers);
    // Ends the session at once, without QUIT: the server commits nothing.
    void dropSession();
    QString mailKey(const QByteArray& uid, const QByteArray& content) const;
    // On the worker: the listing of the set-up's session when it is still fresh and
    // answers; else *needsSession is set, and the caller opens a new session.
    net::Result<std::vector<pop3::Pop3Listed>> listFromSetUp(bool* needsSession);
    QString account() const;
    // For a +oauth2 server: the access token, in password_, to log in with (on the
    // calling thread, before the worker opens a session). False with error_ set.
    bool takeToken(oauth::Tokens::Need need);
    // Opens the session on the worker; for a token server, once more with a refreshed
    // token when the server refused the first.
    net::Status openSession();

    std::shared_ptr<ledger::DeliveryLedger> ledger_;
    net::Timeouts timeouts_;
    pop3::Limits limits_;
    bool forwarding_ = false;
    bool connected_ = false;
    bool authenticationFailed_ = false;
    std::optional<net::ServerAddress> server_;
    QString user_, password_;
    std::unique_ptr<oauth::Tokens> tokens_;  // made for the first +oauth2 server
    QDeadlineTimer checkDeadline_;
    // The set-up's connection, kept for the first check when that follows soon after.
    QDeadlineTimer setUpSessionFresh_;
    std::vector<int> deliveredEarlier_;  // message numbers delivered in an earlier check
    qsizetype next_ = 0;
    mime::ReadMail opened_;
    std::int32_t openedNo_ = 0;
    std::int32_t mailCount_ = 0;
    QString error_;
    // The retrieval running ahead on the worker; used on the user-interface thread only.
    std::optional<std::future<net::Result<Fetched>>> ahead_;
    // Shared with the worker's tasks, and never at the same time: the user-interface
    // thread changes them only while no task is queued or running (ahead_ settled), and
    // a task starts after the change and ends before the thread reads them again.
    std::vector<NewMail> new_;
    qsizetype requested_ = 0;        // new_ index of the next RETR to queue
    QSet<QByteArray> tooLargeUids_;  // found too large while being retrieved
    std::unique_ptr<pop3::Pop3Session> session_;
    // Last, so that it ends (and finishes its tasks) before the members they use.
    Worker worker_;
};

}  // namespace mail
