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
    while (!ranges.empty()) {
        const Range range = ranges.front();
        ranges.pop_front();
        QString text;
        std::int32_t withText = 0;
        for (std::size_t i = range.first; i < range.second; ++i) {
            text += entries[i].text;
            withText += entries[i].hasText;
        }
        if (withText == 0) {
            for (std::size_t i = range.first; i < range.second; ++i)
                withoutText.push_back(entries[i].mailNo);
            continue;
        }
        for (std::size_t i = range.first; i < range.second; ++i) {
            std::int32_t mailNo = entries[i].mailNo;
            state.pop3->DeleteMail(mailNo, kDeleteFromServer);
        }
        if (!AddressMail(state, subject, text)) {
            result.failedStep = QStringLiteral("addressing the digest");
            result.failure = state.smtp->LastError();
            return result;
        }
        if (state.smtp->Mail()) {
            qCInfo(lcCheck) << "a part of the digest with" << (range.second - range.first)
                            << "entries was sent to" << state.forwardTo;
            result.delivered += withText;
        } else if (!state.smtp->LastFailurePermanent()) {
            result.failedStep = QStringLiteral("sending the digest");
            result.failure = state.smtp->LastError();
            return result;
        } else if (range.second - range.first == 1) {
            refuse(entries[range.first], state.smtp->LastError());
        } else {
            split(range);
        }
        window.DoEvents();
        if (window.Ended()) {
            result.ended = true;
            return result;
        }
    }
    for (std::int32_t mailNo : withoutText) state.pop3->DeleteMail(mailNo, kDeleteFromServer);
    return result;
}

}  // namespace core
