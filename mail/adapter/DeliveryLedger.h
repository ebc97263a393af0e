#pragma once
// What the POP3 and SMTP objects share, handed to both when they are made; neither
// installs anything in it for the other.
//
// - The mode: the program sets up the SMTP object before the POP3 object in Forwarding
//   mode and never in Check-only mode. A successful SMTP set-up says so here; the next
//   POP3 set-up takes it, so a failed or missing SMTP set-up means Check-only.
// - The journal of the mailbox the POP3 object is set up for.
// - The mail now open (handed out by OpenNewMail and not yet done with) and the mails
//   the cycle listed in this check. The moment the SMTP server accepts a mail, the
//   ledger records what that delivered: the open mail (forwarded whole) or the listed
//   ones (the digest). This runs on the transfer's own thread, before anything else, to
//   keep the gap between the server's acceptance and the record as short as it can be.
// - Mails kept on the server: too large to read, or refused for ever by the SMTP server
//   when forwarded whole. They are listed in a digest instead and never deleted.
// - The end: once the program is ending, transfers stop within about a second and no
//   new one starts.

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "Journal.h"

namespace mail {

// One message of the current session as the ledger knows it.
struct LedgerMail {
    QString uid;
    QString key;        // stable identity of the message, for the Message-ID of a forward
    bool keep = false;  // stays on the server whatever happens to it
};

class DeliveryLedger {
public:
    explicit DeliveryLedger(QString journalPath);

    std::atomic<bool> ending = false;

    void SetSmtpReady(bool ready);
    // The mode the last SMTP set-up left, forgotten once taken.
    bool TakeSmtpReady();

    // Opens the journal of one mailbox (account: user and server); why it cannot be
    // used, empty when it can.
    QString OpenJournal(const QString& account);
    Journal* journal() { return journal_.get(); }

    // The check's bookkeeping; BeginCheck forgets the last check's.
    void BeginCheck();
    void SetOpenMail(std::optional<LedgerMail> mail);
    void AddListed(const LedgerMail& mail);
    QList<LedgerMail> Listed() const;

    std::optional<LedgerMail> OpenMail() const;
    // The key of the open mail, empty when none is open.
    QString OpenMailKey() const;
    // The open mail was refused for ever as a whole forward; the reason it was, when it
    // was refused at an earlier check.
    std::optional<QString> OpenMailRefusal() const;
    void RecordRefused(const QString& reason);

    // The SMTP server accepted the mail being sent: records what it delivered and makes
    // the record durable before returning.
    void RecordAccepted();

private:
    void markDone(const LedgerMail& mail);

    QString journalPath_;
    mutable std::mutex mutex_;  // RecordAccepted runs on the SMTP object's worker
    std::unique_ptr<Journal> journal_;
    bool smtpReady_ = false;
    std::optional<LedgerMail> open_;
    QList<LedgerMail> listed_;
};

}  // namespace mail
