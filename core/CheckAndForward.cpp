#include "CheckAndForward.h"

#include "DigestLayout.h"
#include "ListMatch.h"

#include <limits>

namespace core {
namespace {

constexpr std::int16_t kRecipientTo = 1;
constexpr std::int16_t kDeleteFromServer = 2;

// The running total stops at the top of its range rather than wrapping.
void countForwarded(SharedState& state) {
    if (state.forwardedCount < std::numeric_limits<std::int32_t>::max()) ++state.forwardedCount;
}

// Sets up an outgoing mail to forwardTo. False when the component refused a step.
bool addressMail(SharedState& state, const QString& subject, const QString& body) {
    state.smtp->ClearMail();
    return state.smtp->SetRecipient(kRecipientTo, state.forwardTo, QString()) &&
           state.smtp->SetSubject(subject) && state.smtp->SetDetail(body);
}

bool forwardWhole(SharedState& state, const DigestMail& mail) {
    QString body = mail.body;
    if (mail.attachCount != 0) body = AttachmentLine(mail.attachCount) + body;
    return addressMail(state, ForwardSubject(mail.subject), body) && state.smtp->Mail();
}

std::int16_t announce(SharedState& state, WindowPort& window, std::int32_t newCount) {
    window.MessageBox(NewMailMessage(newCount));
    if (!window.Visible()) window.TrayShow(NewMailTip(state.pop3->MailCount()));
    return 0;
}

}  // namespace

std::int16_t CheckAndForward(SharedState& state, WindowPort& window, const Clock& clock) {
    mail::Pop3Mail& pop3 = *state.pop3;
    const std::int32_t newCount = pop3.RecvMail();
    if (newCount == 0) return 0;
    if (newCount < 0) return -1;
    pop3.SetAutoSave(true);

    if (state.checkOnly) return announce(state, window, newCount);

    QString digestText;
    std::int64_t entryNo = 1;
    std::int64_t fullTextSent = 0;
    std::int32_t digestForwards = 0;  // entries that count as forwarded once the digest is in
    bool digestHasText = false;
    QString refusal;  // why the last whole forward refused for good was refused
    for (;;) {
        DigestMail mail;
        std::int32_t mailNo = pop3.OpenNewMail(mail.body);
        if (mailNo == 0) break;
        if (mailNo < 0) return -1;
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
                ++fullTextSent;
                countForwarded(state);
            } else if (state.smtp->LastFailurePermanent()) {
                // Sending it again would fail again: the digest lists it instead, and the
                // rest of the mailbox goes through.
                refusal = state.smtp->LastError();
                mail.note = RefusedForwardNote(refusal);
                listInDigest = true;
            } else {
                return -1;
            }
        }
        if (listInDigest) {
            digestText += DigestEntry(mail, entryNo++, state.maxBodyChars);
            if (!mail.refused) {
                digestHasText = true;
                ++digestForwards;
            }
        }
        pop3.DeleteMail(mailNo, kDeleteFromServer);

        window.DoEvents();
        if (window.Ended()) return 0;
    }

    pop3.SetAutoSave(false);
    const QString digestSubject = DigestSubject(newCount, fullTextSent);
    if (!addressMail(state, digestSubject, digestText)) return -1;

    if (digestHasText && !state.smtp->Mail()) return -1;
    // Counted once they are delivered: a digest refused now lists them again next time.
    for (std::int32_t i = 0; i < digestForwards; ++i) countForwarded(state);
    if (digestHasText || fullTextSent != 0) {
        window.SetLblInfo(refusal.isEmpty() ? digestSubject + QStringLiteral("を転送しました")
                                            : RefusedForwardStatus(refusal));
        window.SetLblTime(StatusTime(clock.Now()));
        if (!window.Visible()) window.TrayShow(ForwardedTip(state.forwardedCount));
    } else {
        window.SetLblInfo(QStringLiteral("転送拒否メールを転送しませんでした"));
        window.SetLblTime(StatusTime(clock.Now()));
    }
    pop3.Refresh();
    return 0;
}

}  // namespace core
