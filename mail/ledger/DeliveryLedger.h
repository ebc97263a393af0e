#pragma once
// What the POP3 and SMTP objects share, handed to both when they are made; neither
// installs anything in it for the other.
//
// - The mode: the program sets up the SMTP object before the POP3 object in Forwarding
//   mode and never in Check-only mode. A successful SMTP set-up says so here; the next
//   POP3 set-up takes it, so a failed or missing SMTP set-up means Check-only.
// - The journal of the mailbox the POP3 object is set up for.
// - The mail now open (handed out by OpenNewMail and not yet deleted), with its content
//   while it is open (a whole forward carries its attachments), and the mails the cycle
//   listed since the last accepted digest. The moment the SMTP server accepts a mail,
//   the ledger records what that delivered: the open mail (forwarded whole) or the
//   listed ones (the digest). This runs on the transfer's own thread, before anything
//   else, to keep the gap between the server's acceptance and the record as short as it
//   can be. A check may send several digests: each delivers only what was listed since
//   the one before.
// - A digest refused for good delivered nothing: its mails are listed no more, so the
//   cycle can list them again in smaller digests. A digest of one mail refused for good
//   marks that mail refused: it stays on the server and is not new again.
// - Mails kept on the server: too large to read, or refused for ever by the SMTP server
//   when forwarded whole. They are listed in a digest instead and never deleted.
// - The end: once the program is ending, transfers stop within about a second and no
//   new one starts.

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "Journal.h"

namespace ledger {

// One message of the current session as the ledger knows it.
struct LedgerMail {
    QString uid;
    QString key;              // stable identity of the message, for the Message-ID of a forward
    bool keep = false;        // stays on the server whatever happens to it
    std::int32_t mailNo = 0;  // its number in this check
};

// What a whole forward takes over from the open mail.
struct OpenContent {
    QByteArray message;  // the original, as retrieved; empty when it was not
    QString senderName, senderAddress;
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
    void SetOpenMail(std::optional<LedgerMail> mail, OpenContent content = {});
    // Listed for the next digest; a mail already delivered in this check is not again.
    void AddListed(const LedgerMail& mail);
    // Listed since the last accepted digest: what the next digest delivers.
    QList<LedgerMail> Listed() const;
    // The mails this check delivered or keeps for good so far.
    QList<LedgerMail> Committed() const;
    OpenContent OpenMailContent() const;

    std::optional<LedgerMail> OpenMail() const;
    // The key of the open mail, empty when none is open.
    QString OpenMailKey() const;
    // The open mail was refused for ever as a whole forward; the reason it was, when it
    // was refused at an earlier check.
    std::optional<QString> OpenMailRefusal() const;
    // The SMTP server refused the mail being sent for good: the open mail as a whole
    // forward, or else the digest of what is listed (see the top).
    void RecordRefused(const QString& reason);

    // The SMTP server accepted the mail being sent: records what it delivered and makes
    // the record durable before returning.
    void RecordAccepted();

private:
    void markDone(const LedgerMail& mail);
    bool committed(std::int32_t mailNo) const;

    QString journalPath_;
    mutable std::mutex mutex_;  // RecordAccepted runs on the SMTP object's worker
    std::unique_ptr<Journal> journal_;
    bool smtpReady_ = false;
    std::optional<LedgerMail> open_;
    OpenContent openContent_;
    QList<LedgerMail> listed_;     // since the last accepted digest
    QList<LedgerMail> committed_;  // in this check
};

}  // namespace ledger
