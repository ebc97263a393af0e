#pragma once
// What the component's two objects share, as the objects of one component library do.
//
// - The operating mode: the program connects the SMTP object before the POP3 object in
//   Forwarding mode and never in Check-only mode, so the POP3 object learns the mode at
//   its Connect from whether the SMTP object was connected since its own last Connect.
// - Delivery: once the SMTP server accepted a mail, the POP3 object records the mail it
//   came from (forwarded whole) or the mails the digest listed as delivered.

#include <functional>

namespace mail {

struct ComponentContext {
    bool smtpConnectedSincePop3Connect = false;
    std::function<void()> onMailAccepted;
};

}  // namespace mail
