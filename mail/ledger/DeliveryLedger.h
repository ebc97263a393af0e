#pragma once
// What the POP3 and SMTP objects share, handed to both when they are made. Each tells
// the ledger what it did, one call per event; neither reads back what the other wrote.
//
// - The set-up: the program sets up the SMTP object before the POP3 object in
//   Forwarding mode and never in Check-only mode. The SMTP set-up says how it went
//   (SmtpSetUp); the POP3 set-up that follows learns its mode as it begins
//   (Pop3SetUpBegins): Forwarding after a successful SMTP set-up, else Check-only. It
//   then opens the mailbox's journal (OpenJournal).
// - The check, told by the POP3 object: it begins with the mailbox's listing
//   (BeginCheck); each mail handed out begins its forward (ForwardBegins), with the
//   content a whole forward carries; once the cycle has done with that mail (Listed) or
//   no mail is left (DigestBegins), what is sent next is a digest of the listed mails.
//   At the end the listed mails are delivered (ListedDelivered), also when no digest
//   had to be sent.
// - The send, told by the SMTP object: what the server accepted (RecordAccepted) is
//   what last began, the forward of one mail or the digest of the mails listed since
//   the last accepted digest; a check may send several digests. RecordAccepted runs on
//   the SMTP object's worker, before anything else, to keep the gap between the
//   server's acceptance and the record as short as it can be.
// - A refusal for good (RecordRefused): a forward refused stays on the server and is
//   listed instead. A digest refused delivered nothing: its mails are listed no more,
//   so the cycle can list them again in smaller digests; a digest of one mail marks
//   that mail refused, and it stays on the server and is not new again.
// - Mails kept on the server: too large to read, or refused for ever by the SMTP server
//   when forwarded whole. They are listed in a digest instead and never deleted.
// - Every record is durable before the call returns; a journal that cannot record
//   fails the call with its file and the reason, and the check stops there: nothing
//   more is sent or deleted until the journal records again (BeginCheck writes first
//   what it could not write before).
// - The end: once the program is ending, transfers stop within about a second and no
//   new one starts.
//
// Every member locks: the POP3 object calls from its worker, the SMTP object from its.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Journal.h"

namespace ledger {

enum class Mode { CheckOnly, Forwarding };

// One message of the current check as the ledger knows it.
struct LedgerMail {
    QString uid;            // empty when the server gave it to another message too
    QString key;            // stable identity of the message, for the Message-ID of a forward
    bool keep = false;      // stays on the server whatever happens to it
    int messageNumber = 0;  // its number in this POP3 session, for the DELE
};

// What a whole forward takes over from the mail handed out.
struct ForwardContent {
    QByteArray message;  // the original, as retrieved; empty when it was not
    QString senderName, senderAddress;
};

class DeliveryLedger {
public:
    explicit DeliveryLedger(QString journalPath);

    std::atomic<bool> ending = false;

    // How the SMTP set-up went; the next POP3 set-up takes it as its mode.
    void SmtpSetUp(bool succeeded);
    Mode Pop3SetUpBegins();

    // Opens the journal of one mailbox (account: user and server); why it cannot be
    // used, empty when it can.
    QString OpenJournal(const QString& account);

    // What the journal holds of a message.
    bool IsAnnounced(const QString& uid) const;
    bool IsDelivered(const QString& uid) const;
    bool IsKept(const QString& uid) const;

    // A check begins with the mailbox's complete listing: forgets the last check's
    // mails and the messages no longer on the server.
    [[nodiscard]] Failure BeginCheck(const QStringList& uidsOnServer);
    // The cycle reported these messages as new (Check-only mode).
    [[nodiscard]] Failure RecordAnnounced(const QStringList& uids);
    // A forward of the next mail handed out begins: what the SMTP server accepts next
    // is this mail.
    void ForwardBegins(const LedgerMail& mail, ForwardContent content = {});
    // No mail is left to hand out: what is sent next is the digest.
    void DigestBegins();
    // The cycle has done with the mail handed out as mailNo (1 for the first); false
    // when no such mail was handed out in this check.
    bool Listed(std::int32_t mailNo);
    // The listed mails are delivered: records them; the message numbers of the mails
    // the cycle has done with that may now be deleted from the server (not the kept
    // ones, nor those of a digest refused for good that the cycle did not list again).
    [[nodiscard]] Failure ListedDelivered(std::vector<int>* deletable);

    // Whether a forward is what began, and its key; the key is empty for the digest.
    bool ForwardBegun() const;
    QString ForwardKey() const;
    ForwardContent ForwardedContent() const;
    // The keys of the mails listed since the last accepted digest, in order.
    QStringList ListedKeys() const;
    // Why the server refused the forward that began for good at an earlier check.
    std::optional<QString> ForwardRefusal() const;
    // The server refused what began for good (see the top).
    [[nodiscard]] Failure RecordRefused(const QString& reason);
    // The server accepted what began: records what it delivered.
    [[nodiscard]] Failure RecordAccepted();

private:
    enum class Sending { Nothing, Forward, Digest };
    Failure markDone(const LedgerMail& mail);
    Failure synced(Failure failed);
    bool done(std::int32_t mailNo) const;
    void forgetCheck();

    QString journalPath_;
    mutable std::mutex mutex_;
    std::unique_ptr<Journal> journal_;
    QString account_;  // the journal's
    bool smtpReady_ = false;
    Sending sending_ = Sending::Nothing;
    std::vector<LedgerMail> handed_;    // per mail number handed out in this check
    ForwardContent forwardContent_;     // of the last mail handed out, while it is sent
    std::vector<std::int32_t> listed_;  // since the last accepted digest
    std::vector<std::int32_t> done_;    // delivered or kept for good in this check
    std::vector<std::int32_t> asked_;   // the cycle has done with them (Listed)
};

}  // namespace ledger
