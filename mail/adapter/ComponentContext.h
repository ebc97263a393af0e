#pragma once
// What the component's two objects share, as the objects of one component library do.
//
// - The operating mode: the program connects the SMTP object before the POP3 object in
//   Forwarding mode and never in Check-only mode, so the POP3 object learns the mode at
//   its Connect from whether the SMTP object was connected since its own last Connect.
// - Delivery: the moment the SMTP server accepted a mail, the POP3 object records the mail
//   it came from (forwarded whole) or the mails the digest listed as delivered. It runs on
//   the transfer's own thread, before anything else, to keep the gap between the server's
//   acceptance and the record as short as it can be.
// - A forward's identity: a mail forwarded whole carries a Message-ID made from the
//   original, so that if the process dies inside that gap and the mail is sent again,
//   the recipient sees the same message, not a second one.
// - The end: once the program is ending, every transfer in progress stops within about a
//   second and no new one starts, as if the servers had gone; connections are dropped
//   without a QUIT rather than waiting on a server that may never answer.

#include <QString>
#include <atomic>
#include <functional>

namespace mail {

struct ComponentContext {
    bool smtpConnectedSincePop3Connect = false;
    std::function<void()> onMailAccepted;
    // Empty unless a mail is open: then a stable key of the open mail.
    std::function<QString()> openedMailKey;
    std::atomic<bool> ending = false;
};

}  // namespace mail
