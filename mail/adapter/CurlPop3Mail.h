#pragma once
// The POP3 object. A cycle is one POP3 session: RecvMail lists the mailbox by UIDL,
// OpenNewMail retrieves one message at a time, DeleteMail only records, and Refresh,
// once the cycle has delivered everything, sends the DELEs and QUIT. No DELE reaches
// the server earlier, so a failed cycle, a dropped connection or a killed process
// deletes nothing that was not delivered.
//
// New mail: in Forwarding mode every message not yet delivered; in Check-only mode
// every message neither delivered nor announced before (the journal remembers both
// across restarts). AutoSave true records the reported messages as announced.
// MailCount is the number of undelivered messages waiting in the mailbox at the last
// RecvMail.
//
// While OpenNewMail decodes a message and the cycle handles it, the next one is already
// being retrieved on a worker thread, so that the round trip overlaps that work. That
// retrieval is the only user of the session until it is collected: every other use of
// the session waits for it first. At most two messages are held at a time.

#include "ComponentContext.h"
#include "CurlSession.h"
#include "Journal.h"
#include "MessageReader.h"
#include "mail/MailComponent.h"

#include <QHash>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace mail {

class CurlPop3Mail : public Pop3Mail {
public:
    CurlPop3Mail(std::shared_ptr<ComponentContext> context, QString journalPath,
                 Timeouts timeouts = {});
    ~CurlPop3Mail() override;

    QString LastError() const override { return error_; }
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
    struct Listed {
        int number;
        QString uid;
    };
    // The retrieval of newUids_[next_] running ahead of the cycle.
    struct Ahead {
        bool ok = false;
        QByteArray raw;
        std::atomic<bool> done{false};
        std::thread worker;
    };

    bool list(std::vector<Listed>* listing);
    // RETR of one message, on whichever thread holds the session.
    bool retrieve(int number, QByteArray* raw);
    void startAhead();
    // Waits for the retrieval running ahead (which must exist); true if it succeeded.
    bool joinAhead();
    // Waits for the retrieval running ahead, if any, and drops its result. A failed one
    // leaves the session in an unknown state, so the session is dropped too.
    void settleAhead();
    // Sends DELE for the given messages still on the server, then QUIT.
    void deleteAndQuit(const QStringList& uidList);
    void closeSession();
    // Ends a failed session at once, without waiting on a server that stopped answering.
    void abortSession();
    void onMailAccepted();
    QString openedMailKey() const;

    std::shared_ptr<ComponentContext> context_;
    QString journalPath_;
    Timeouts timeouts_;
    bool forwarding_ = false;
    std::unique_ptr<Journal> journal_;
    std::unique_ptr<CurlSession> session_;
    std::optional<ServerAddress> server_;
    QString user_, password_;
    std::vector<Listed> listing_;
    QHash<QString, int> numbers_;  // uid to message number in this session
    QStringList newUids_;
    qsizetype next_ = 0;
    QString openedUid_;  // the message opened last, until the list runs out
    std::int32_t openedNo_ = 0;
    ReadMail opened_;
    std::unique_ptr<Ahead> ahead_;
    QStringList listedThisCycle_;  // DeleteMail'd: listed in the digest, refused or forwarded
    QStringList deliveredEarlier_;  // delivered in an earlier cycle, still on the server
    std::int32_t mailCount_ = 0;
    QString error_;
};

}  // namespace mail
