#include "DeliveryLedger.h"

#include <algorithm>

namespace ledger {

DeliveryLedger::DeliveryLedger(QString journalPath) : journalPath_(std::move(journalPath)) {}

void DeliveryLedger::SetSmtpReady(bool ready) {
    std::lock_guard lock(mutex_);
    smtpReady_ = ready;
}

bool DeliveryLedger::TakeSmtpReady() {
    std::lock_guard lock(mutex_);
    return std::exchange(smtpReady_, false);
}

QString DeliveryLedger::OpenJournal(const QString& account) {
    std::lock_guard lock(mutex_);
    journal_ = std::make_unique<Journal>(journalPath_, account);
    return journal_->Problem();
}

void DeliveryLedger::BeginCheck() {
    std::lock_guard lock(mutex_);
    open_.reset();
    openContent_ = {};
    listed_.clear();
    committed_.clear();
}

void DeliveryLedger::SetOpenMail(std::optional<LedgerMail> mail, OpenContent content) {
    std::lock_guard lock(mutex_);
    open_ = std::move(mail);
    openContent_ = open_ ? std::move(content) : OpenContent{};
}

bool DeliveryLedger::committed(std::int32_t mailNo) const {
    return std::any_of(committed_.cbegin(), committed_.cend(),
                       [&](const LedgerMail& done) { return done.mailNo == mailNo; });
}

void DeliveryLedger::AddListed(const LedgerMail& mail) {
    std::lock_guard lock(mutex_);
    if (!committed(mail.mailNo)) listed_ << mail;
}

QList<LedgerMail> DeliveryLedger::Listed() const {
    std::lock_guard lock(mutex_);
    return listed_;
}

QList<LedgerMail> DeliveryLedger::Committed() const {
    std::lock_guard lock(mutex_);
    return committed_;
}

OpenContent DeliveryLedger::OpenMailContent() const {
    std::lock_guard lock(mutex_);
    return openContent_;
}

std::optional<LedgerMail> DeliveryLedger::OpenMail() const {
    std::lock_guard lock(mutex_);
    return open_;
}

QString DeliveryLedger::OpenMailKey() const {
    std::lock_guard lock(mutex_);
    return open_ ? open_->key : QString();
}

std::optional<QString> DeliveryLedger::OpenMailRefusal() const {
    std::lock_guard lock(mutex_);
    if (!open_ || !journal_) return std::nullopt;
    return journal_->Refusal(open_->uid);
}

void DeliveryLedger::RecordRefused(const QString& reason) {
    std::lock_guard lock(mutex_);
    if (!journal_) return;
    if (!open_) {
        // A digest: of one mail, that mail is what the server will not take.
        if (listed_.size() == 1) {
            LedgerMail mail = listed_.front();
            mail.keep = true;
            if (!mail.uid.isEmpty()) {
                journal_->MarkRefused(mail.uid, reason);
                journal_->MarkKept(mail.uid);
                journal_->Sync();
            }
            committed_ << mail;
        }
        listed_.clear();
        return;
    }
    open_->keep = true;
    if (open_->uid.isEmpty()) return;  // a UID the server gave twice identifies nothing
    journal_->MarkRefused(open_->uid, reason);
    journal_->Sync();
}

void DeliveryLedger::markDone(const LedgerMail& mail) {
    if (mail.uid.isEmpty()) return;  // a message whose UID the server gave twice
    if (mail.keep || journal_->Refusal(mail.uid))
        journal_->MarkKept(mail.uid);
    else
        journal_->MarkDelivered(mail.uid);
}

void DeliveryLedger::RecordAccepted() {
    std::lock_guard lock(mutex_);
    if (!journal_) return;
    if (open_) {
        markDone(*open_);  // forwarded whole: never again
        committed_ << *open_;
    } else {
        for (const LedgerMail& mail : listed_) markDone(mail);  // the digest
        committed_ << listed_;
        listed_.clear();
    }
    journal_->Sync();
}

}  // namespace ledger
