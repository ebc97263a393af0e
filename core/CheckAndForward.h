#pragma once
// One check of the POP3 mailbox: announce new mail (Check-only mode), or forward it
// (Forwarding mode): full-text senders whole, everyone else in one Digest mail.

#include <cstdint>

#include "Clock.h"
#include "SharedState.h"
#include "WindowPort.h"

namespace core {

// 0 on success (also with no new mail, and in Check-only mode); -1 when a mail
// operation failed. Labels are written only on success.
std::int16_t CheckAndForward(SharedState& state, WindowPort& window,
                             const Clock& clock = Clock::System());

}  // namespace core
