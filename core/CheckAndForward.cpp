#include "CheckAndForward.h"

#include <limits>
#include <vector>

#include "DigestDelivery.h"
#include "DigestLayout.h"
#include "ListMatch.h"
#include "Log.h"

namespace core {
namespace {

constexpr std::int16_t kDeleteFromServer = 2;

// The running total stops at the top of its range rather than wrapping.
void countForwarded(SharedState& state) {
    if (state.forwardedCount < std::numeric_limits<std::int32_t>::max()) ++state.forwardedCount;
}

bool forwardWhole(SharedState& state, const DigestMail& mail) {
    QString body = mail.body;
    if (mail.attachCount != 0) body = AttachmentLine(mail.attachCount) + body;
    return AddressMail(state, ForwardSubject(mail.subject), body) && state.smtp->Mail();
}

// A failed mail operation: logged with the component's reason, -1 for the supervisor.
std::int16_t failed(const char* step, const QString& reason) {
    qCWarning(lcCheck) << "check failed while" << step << ":" << reason;
    return -1;
}

std::int16_t announce(SharedState& state, WindowPort& window, std::int32_t newCount) {
    qCInfo(lcCheck) << "announcing" << newCount << "new mails";
    window.MessageBox(NewMailMessage(newCount));
    // Marked as announced once the box was closed: a box the ending program closed was
    // not seen, and is shown again next time.
    if (window.Ended()) return 0;
    state.pop3->SetAutoSave(true);
    if (!window.Visible()) window.TrayShow(NewMailTip(state.pop3->MailCount()));
    return 0;
}

}  // namespace

std::int16_t CheckAndForward(SharedState& state, WindowPort& window, const Clock& clock,
                             const CheckLimits& limits) {
    mail::Pop3Mail& pop3 = *state.pop3;
    qCInfo(lcCheck) << "check started" << (state.checkOnly ? "(check only)" : "(forwarding)");
    const std::int32_t newCount = pop3.RecvMail();
    if (newCount == 0) {
        qCInfo(lcCheck) << "check done: no new mail";
        return 0;
    }
    if (newCount < 0) return failed("receiving", pop3.LastError());
    qCInfo(lcCheck) << "new mails:" << newCount;
    if (state.checkOnly) return announce(state, window, newCount);
    pop3.SetAutoSave(true);

    const QDateTime stopAt = clock.Now().addSecs(limits.secondsPerCheck);
    std::vector<ListedEntry> entries;
    std::int64_t entryNo = 1;
    std::int64_t fullTextSent = 0;
    std::int32_t opened = 0;
    bool digestHasText = false;
    bool cutShort = false;
    QString refusal;  // why the last whole forward refused for good was refused
    for (;;) {
        // Commit as you go: a long backlog goes through in checks of bounded size.
        if (opened < newCount && (opened >= limits.mailsPerCheck || clock.Now() >= stopAt)) {
            cutShort = true;
            break;
        }
        DigestMail mail;
        std::int32_t mailNo = pop3.OpenNewMail(mail.body);
        if (mailNo == 0) break;
        if (mailNo < 0) return failed("opening a mail", pop3.LastError());
        ++opened;
        QString dateText, unused;
        pop3.GetMailInfo(mailNo, mail.senderName, mail.senderAddress, dateText, mail.subject,
                         unused, mail.attachCount);
        mail.timeText = TimeText(dateText, clock.Now());

        // The lists and settings are read here, per mail: a save during the yield
        // below applies from the next mail on.
        mail.refused = IsRefused(state.rejectList, mail.senderAddress);
        const bool fullText = IsFullText(state.fullTextList, mail.senderAddress);
        bool listInDigest = !fullText || mail.refused;
        if (!listInDigest) {
            if (forwardWhole(state, mail)) {
                qCInfo(lcCheck) << "forwarded a mail from" << mail.senderAddress << "to"
                                << state.forwardTo;
                ++fullTextSent;
                countForwarded(state);
            } else if (state.smtp->LastFailurePermanent()) {
                // Sending it again would fail again: the digest lists it instead, and the
                // rest of the mailbox goes through.
                refusal = state.smtp->LastError();
                qCWarning(lcCheck) << "the forward of a mail from" << mail.senderAddress
                                   << "was refused for good; it is listed instead:" << refusal;
                mail.note = RefusedForwardNote(refusal);
                listInDigest = true;
            } else {
                return failed("forwarding", state.smtp->LastError());
            }
        }
        if (listInDigest) {
            entries.push_back({mailNo, DigestEntry(mail, entryNo, state.maxBodyChars),
                               !mail.refused, EntryLabel(mail, entryNo)});
            ++entryNo;
            digestHasText = digestHasText || !mail.refused;
        }
        pop3.DeleteMail(mailNo, kDeleteFromServer);

        window.DoEvents();
        if (window.Ended()) return 0;
    }

    pop3.SetAutoSave(false);
    const QString digestSubject = DigestSubject(cutShort ? opened : newCount, fullTextSent);
    QString digestText;
    std::int32_t digestForwards = 0;  // entries that count as forwarded once the digest is in
    for (const ListedEntry& entry : entries) {
        digestText += entry.text;
        digestForwards += entry.hasText;
    }
    if (!AddressMail(state, digestSubject, digestText))
        return failed("addressing the digest", state.smtp->LastError());

    QStringList refusedEntries;
    if (digestHasText && !state.smtp->Mail()) {
        if (!state.smtp->LastFailurePermanent())
            return failed("sending the digest", state.smtp->LastError());
        const NarrowedDigest narrowed =
            NarrowRefusedDigest(state, window, digestSubject, entries, state.smtp->LastError());
        if (!narrowed.failedStep.isEmpty())
            return failed(narrowed.failedStep.toUtf8().constData(), narrowed.failure);
        if (narrowed.ended) return 0;
        digestForwards = narrowed.delivered;
        refusedEntries = narrowed.refused;
        digestHasText = narrowed.delivered != 0;
    } else if (digestHasText) {
        qCInfo(lcCheck) << "digest sent to" << state.forwardTo << "with" << entries.size()
                        << "entries";
    }
    // Counted once they are delivered: a digest refused now lists them again next time.
    for (std::int32_t i = 0; i < digestForwards; ++i) countForwarded(state);
    if (!refusedEntries.isEmpty()) {
        window.SetLblInfo(refusedEntries.back());
        window.SetLblTime(StatusTime(clock.Now()));
        if (!window.Visible()) window.TrayShow(ForwardedTip(state.forwardedCount));
    } else if (digestHasText || fullTextSent != 0) {
        window.SetLblInfo(refusal.isEmpty() ? digestSubject + QStringLiteral("を転送しました")
                                            : RefusedForwardStatus(refusal));
        window.SetLblTime(StatusTime(clock.Now()));
        if (!window.Visible()) window.TrayShow(ForwardedTip(state.forwardedCount));
    } else {
        window.SetLblInfo(QStringLiteral("転送拒否メールを転送しませんでした"));
        window.SetLblTime(StatusTime(clock.Now()));
    }
    pop3.Refresh();
    if (cutShort) {
        qCInfo(lcCheck) << "check stopped after" << opened << "of" << newCount
                        << "mails; the next check follows at once";
        state.moreMailWaiting = kTrue;
    }
    qCInfo(lcCheck) << "check done:" << opened << "mails," << fullTextSent << "forwarded whole";
    return 0;
}

}  // namespace core
