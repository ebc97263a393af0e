#pragma once
// What a POP3 server can make the program hold or wait for. Past a bound the mail is
// still listed (with what could be read and a note) and kept on the server. What of a
// mail the MIME library is handed is bounded separately (mail/mime/MimeLimits.h).

#include <QtGlobal>

namespace pop3 {

struct Limits {
    // A message larger than this is not retrieved whole: its headers are read instead.
    qint64 maxMessageBytes = 64 * 1024 * 1024;
    // A server reply line (status, listing) longer than this is a server fault.
    qint64 maxReplyLineBytes = 64 * 1024;
    // Retrievals in flight at once when the server pipelines: no more than windowBytes
    // by their listed sizes (but at least one), refilled as each one completes, so that
    // a slow line stays busy; windowMessages only bounds the commands queued for a
    // mailbox of tiny mails.
    int windowMessages = 1000;
    qint64 windowBytes = 4 * 1024 * 1024;
};

}  // namespace pop3
