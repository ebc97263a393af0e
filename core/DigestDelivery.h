#pragma once
// Sending the digest again after the SMTP server refused it for good (a content
// filter's 554, a size limit's 552): the entries are sent again in halves, and a half
// refused for good in halves again, until what is refused is one entry. Everything else
// is delivered within the same check; the refused mail alone stays on the server.
//
// The component learns what each digest carries from DeleteMail: the mails of a half
// are deleted (again) just before the half is sent, so an accepted half delivers those
// and no others, and a refused half of one mail marks that mail refused for good.
// Entries without text (refused senders) are deleted once every half is through.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "SharedState.h"
#include "WindowPort.h"

namespace core {

// Sets up an outgoing mail to forwardTo. False when the component refused a step.
bool AddressMail(SharedState& state, const QString& subject, const QString& body);

struct ListedEntry {
    std::int32_t mailNo = 0;
    QString text;          // as the digest lists it
    bool hasText = false;  // not a refused sender
    QString label;         // "No.<n> <address> <subject>", for the status and the log
};

struct NarrowedDigest {
    QString failedStep;  // not empty: a mail operation failed (the reason in failure)
    QString failure;
    std::int32_t delivered = 0;  // entries with text that reached the server
    QStringList refused;         // per entry refused for good: its label and the answer
    bool ended = false;          // the window closed in between
};

// entries: the digest that was refused for good with reason (every one DeleteMail'd).
NarrowedDigest NarrowRefusedDigest(SharedState& state, WindowPort& window, const QString& subject,
                                   const std::vector<ListedEntry>& entries, const QString& reason);

}  // namespace core
