#include "DigestDelivery.h"

#include <deque>
#include <utility>

#include "DigestLayout.h"
#include "Log.h"

namespace core {
namespace {

constexpr std::int16_t kRecipientTo = 1;
constexpr std::int16_t kDeleteFromServer = 2;

}  // namespace

bool AddressMail(SharedState& state, const QString& subject, const QString& body) {
    state.smtp->ClearMail();
    return state.smtp->SetRecipient(kRecipientTo, state.forwardTo, QString()) &&
           state.smtp->SetSubject(subject) && state.smtp->SetDetail(body);
}

NarrowedDigest NarrowRefusedDigest(SharedState& state, WindowPort& window, const QString& subject,
                                   const std::vector<ListedEntry>& entries, const QString& reason) {
    NarrowedDigest result;
    const auto refuse = [&](const ListedEntry& entry, const QString& answer) {
        qCWarning(lcCheck).noquote() << "the SMTP server refused the digest entry" << entry.label
                                     << "for good; the mail stays on the server:" << answer;
        result.refused << RefusedEntryStatus(entry.label, answer);
    };
    if (entries.size() == 1) {  // the component saw a digest of one mail refused
        refuse(entries.front(), reason);
        return result;
    }
    qCWarning(lcCheck) << "the digest was refused for good; sending its" << entries.size()
                       << "entries again in halves:" << reason;
    using Range = std::pair<std::size_t, std::size_t>;  // entries [first, second)
    std::deque<Range> ranges;
    const auto split = [&](Range range) {
        const std::size_t middle = range.first + (range.second - range.first) / 2;
        ranges.push_front({middle, range.second});
        ranges.push_front({range.first, middle});
    };
    split({0, entries.size()});
    std::vector<std::int32_t> withoutText;
    // A part of one entry is sent only once another part was accepted: a server that
    // refuses every part refuses the digest for a reason that is no one mail's (a
    // recipient it will not take, a full mailbox), and no mail is set aside for that.
    std::vector<Range> singles;
    bool accepted = false;
    enum class Sent { Accepted, Refused, Stop };
    const auto send = [&](Range range) -> Sent {
        QString text;
        std::int32_t withText = 0;
        for (std::size_t i = range.first; i < range.second; ++i) {
            text += entries[i].text;
            withText += entries[i].hasText;
        }
        for (std::size_t i = range.first; i < range.second; ++i) {
            std::int32_t mailNo = entries[i].mailNo;
            state.pop3->DeleteMail(mailNo, kDeleteFromServer);
        }
        if (!AddressMail(state, subject, text)) {
            result.failedStep = QStringLiteral("addressing the digest");
            result.failure = state.smtp->LastError();
            return Sent::Stop;
        }
        if (state.smtp->Mail()) {
            qCInfo(lcCheck) << "a part of the digest with" << (range.second - range.first)
                            << "entries was sent to" << state.forwardTo;
            result.delivered += withText;
            accepted = true;
            return Sent::Accepted;
        }
        if (!state.smtp->LastFailurePermanent()) {
            result.failedStep = QStringLiteral("sending the digest");
            result.failure = state.smtp->LastError();
            return Sent::Stop;
        }
        if (range.second - range.first == 1) refuse(entries[range.first], state.smtp->LastError());
        return Sent::Refused;
    };
    const auto hasText = [&](Range range) {
        for (std::size_t i = range.first; i < range.second; ++i)
            if (entries[i].hasText) return true;
        return false;
    };
    const auto pause = [&] {
        window.DoEvents();
        result.ended = window.Ended();
        return result.ended;
    };
    while (!ranges.empty()) {
        const Range range = ranges.front();
        ranges.pop_front();
        if (!hasText(range)) {
            for (std::size_t i = range.first; i < range.second; ++i)
                withoutText.push_back(entries[i].mailNo);
            continue;
        }
        if (range.second - range.first == 1 && !accepted) {
            singles.push_back(range);
            continue;
        }
        const Sent sent = send(range);
        if (sent == Sent::Stop) return result;
        if (sent == Sent::Refused && range.second - range.first > 1) split(range);
        if (pause()) return result;
    }
    if (!singles.empty() && !accepted) {
        result.failedStep = QStringLiteral("sending the digest");
        result.failure = reason;
        return result;
    }
    for (const Range range : singles) {
        if (send(range) == Sent::Stop) return result;
        if (pause()) return result;
    }
    for (std::int32_t mailNo : withoutText) state.pop3->DeleteMail(mailNo, kDeleteFromServer);
    return result;
}

}  // namespace core
