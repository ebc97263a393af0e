#include "DeliveryLedger.h"

#include <algorithm>

namespace ledger {
namespace {

bool contains(const std::vector<std::int32_t>& numbers, std::int32_t mailNo) {
    return std::find(numbers.begin(), numbers.end(), mailNo) != numbers.end();
}

}  // namespace

DeliveryLedger::DeliveryLedger(QString journalPath) : journalPath_(std::move(journalPath)) {}

void DeliveryLedger::SmtpSetUp(bool succeeded) {
    std::lock_guard lock(mutex_);
    smtpReady_ = succeeded;
}

Mode DeliveryLedger::Pop3SetUpBegins() {
    std::lock_guard lock(mutex_);
    return std::exchange(smtpReady_, false) ? Mode::Forwarding : Mode::CheckOnly;
}

void DeliveryLedger::forgetCheck() {
    sending_ = Sending::Nothing;
    handed_.clear();
    forwardContent_ = {};
    listed_.clear();
    done_.clear();
    asked_.clear();
}

QString DeliveryLedger::OpenJournal(const QString& account) {
    std::lock_guard lock(mutex_);
    // The same mailbox set up again keeps the facts an earlier failure left unwritten;
    // they must reach the file before the set-up succeeds.
    if (journal_ && account == account_ && journal_->Problem().isEmpty()) {
        if (const Failure failed = journal_->Flush()) return *failed;
    }
    journal_ = std::make_unique<Journal>(journalPath_, account);
    account_ = account;
    forgetCheck();
    return journal_->Problem();
}

bool DeliveryLedger::IsAnnounced(const QString& uid) const {
    std::lock_guard lock(mutex_);
    return journal_ && journal_->IsAnnounced(uid);
}

bool DeliveryLedger::IsDelivered(const QString& uid) const {
    std::lock_guard lock(mutex_);
    return journal_ && journal_->IsDelivered(uid);
}

bool DeliveryLedger::IsKept(const QString& uid) const {
    std::lock_guard lock(mutex_);
    return journal_ && journal_->IsKept(uid);
}

Failure DeliveryLedger::synced(Failure failed) {
    if (failed) return failed;
    return journal_->Sync();
}

Failure DeliveryLedger::BeginCheck(const QStringList& uidsOnServer) {
    std::lock_guard lock(mutex_);
    forgetCheck();
    if (!journal_) return QStringLiteral("no mailbox is set up");
    // A rewrite that fails forgets nothing: the file only stays larger than it need be.
    // What an earlier failure left unwritten must be in the file before the check goes on.
    (void)journal_->KeepOnly(uidsOnServer);
    return synced(journal_->Flush());
}

Failure DeliveryLedger::RecordAnnounced(const QStringList& uids) {
    std::lock_guard lock(mutex_);
    if (!journal_) return QStringLiteral("no mailbox is set up");
    for (const QString& uid : uids)
        if (Failure failed = journal_->MarkAnnounced(uid)) return failed;
    return journal_->Sync();
}

void DeliveryLedger::ForwardBegins(const LedgerMail& mail, ForwardContent content) {
    std::lock_guard lock(mutex_);
    handed_.push_back(mail);
    forwardContent_ = std::move(content);
    sending_ = Sending::Forward;
}

void DeliveryLedger::DigestBegins() {
    std::lock_guard lock(mutex_);
    sending_ = Sending::Digest;
    forwardContent_ = {};
}

bool DeliveryLedger::done(std::int32_t mailNo) const { return contains(done_, mailNo); }

bool DeliveryLedger::Listed(std::int32_t mailNo) {
    std::lock_guard lock(mutex_);
    if (mailNo <= 0 || mailNo > std::int32_t(handed_.size())) return false;
    if (!contains(asked_, mailNo)) asked_.push_back(mailNo);
    // A mail already delivered in this check (forwarded whole) is not listed again.
    if (!done(mailNo) && !contains(listed_, mailNo)) listed_.push_back(mailNo);
    // Done with the mail whose forward began: a mail sent from now on is a digest.
    if (mailNo == std::int32_t(handed_.size())) {
        sending_ = Sending::Digest;
        forwardContent_ = {};
    }
    return true;
}

bool DeliveryLedger::ForwardBegun() const {
    std::lock_guard lock(mutex_);
    return sending_ == Sending::Forward;
}

QString DeliveryLedger::ForwardKey() const {
    std::lock_guard lock(mutex_);
    return sending_ == Sending::Forward ? handed_.back().key : QString();
}

ForwardContent DeliveryLedger::ForwardedContent() const {
    std::lock_guard lock(mutex_);
    return sending_ == Sending::Forward ? forwardContent_ : ForwardContent{};
}

QStringList DeliveryLedger::ListedKeys() const {
    std::lock_guard lock(mutex_);
    QStringList keys;
    for (std::int32_t mailNo : listed_) keys << handed_[mailNo - 1].key;
    return keys;
}

std::optional<QString> DeliveryLedger::ForwardRefusal() const {
    std::lock_guard lock(mutex_);
    if (sending_ != Sending::Forward || !journal_ || handed_.back().uid.isEmpty())
        return std::nullopt;
    return journal_->Refusal(handed_.back().uid);
}

Failure DeliveryLedger::RecordRefused(const QString& reason) {
    std::lock_guard lock(mutex_);
    if (!journal_) return std::nullopt;
    if (sending_ == Sending::Forward) {
        LedgerMail& mail = handed_.back();
        mail.keep = true;
        if (mail.uid.isEmpty()) return std::nullopt;  // a UID given twice identifies nothing
        return synced(journal_->MarkRefused(mail.uid, reason));
    }
    if (sending_ != Sending::Digest) return std::nullopt;
    // A digest: of one mail, that mail is what the server will not take.
    Failure failed;
    if (listed_.size() == 1) {
        LedgerMail& mail = handed_[listed_.front() - 1];
        mail.keep = true;
        if (!mail.uid.isEmpty()) {
            failed = journal_->MarkRefused(mail.uid, reason);
            if (!failed) failed = journal_->MarkKept(mail.uid);
            failed = synced(failed);
        }
        done_.push_back(listed_.front());
    }
    listed_.clear();
    return failed;
}

// Kept or delivered, by one rule: a mail that must stay is never recorded as delivered.
Failure DeliveryLedger::markDone(const LedgerMail& mail) {
    if (mail.uid.isEmpty()) return std::nullopt;  // a message whose UID the server gave twice
    if (mail.keep || journal_->Refusal(mail.uid)) return journal_->MarkKept(mail.uid);
    return journal_->MarkDelivered(mail.uid);
}

Failure DeliveryLedger::RecordAccepted() {
    std::lock_guard lock(mutex_);
    if (!journal_) return std::nullopt;
    Failure failed;
    if (sending_ == Sending::Forward) {
        failed = markDone(handed_.back());  // forwarded whole: never again
        done_.push_back(std::int32_t(handed_.size()));
        sending_ = Sending::Nothing;
    } else if (sending_ == Sending::Digest) {
        for (std::int32_t mailNo : listed_) {
            if (!failed) failed = markDone(handed_[mailNo - 1]);
            done_.push_back(mailNo);
        }
        listed_.clear();
    }
    return synced(failed);
}

Failure DeliveryLedger::ListedDelivered(std::vector<int>* deletable) {
    std::lock_guard lock(mutex_);
    if (!journal_) return QStringLiteral("no mailbox is set up");
    for (std::int32_t mailNo : listed_) {
        if (Failure failed = markDone(handed_[mailNo - 1])) return failed;
        done_.push_back(mailNo);
    }
    listed_.clear();
    if (Failure failed = journal_->Sync()) return failed;
    for (std::int32_t mailNo : asked_) {
        const LedgerMail& mail = handed_[mailNo - 1];
        if (done(mailNo) && !mail.keep && !(mail.uid.size() && journal_->Refusal(mail.uid)))
            deletable->push_back(mail.messageNumber);
    }
    std::sort(deletable->begin(), deletable->end());
    return std::nullopt;
}

}  // namespace ledger
