#pragma once
// One check of the POP3 mailbox: announce new mail (Check-only mode), or forward it
// (Forwarding mode): full-text senders whole, everyone else in one Digest mail.
//
// A check commits as it goes: it handles at most CheckLimits' mails or time, then sends
// its digest, deletes what it delivered and ends; SharedState::moreMailWaiting asks the
// supervisor for the next check at once. A digest refused for good is sent again in
// parts (DigestDelivery.h), so one mail the server will not take holds back no other.

#include <cstdint>

#include "Clock.h"
#include "SharedState.h"
#include "WindowPort.h"

namespace core {

struct CheckLimits {
    std::int32_t mailsPerCheck = 1000;
    std::int64_t secondsPerCheck = 600;
};

// 0 on success (also with no new mail, and in Check-only mode); -1 when a mail
// operation failed. Labels are written only on success.
std::int16_t CheckAndForward(SharedState& state, WindowPort& window,
                             const Clock& clock = Clock::System(), const CheckLimits& limits = {});

}  // namespace core
