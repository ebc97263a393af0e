#pragma once
// What a server or a mail can make the program hold or wait for. Past a bound the mail
// is still listed (with what could be read and a note) and kept on the server.

#include <QtGlobal>

namespace mail {

struct Limits {
    // A message larger than this is not retrieved whole: its headers are read instead.
    qint64 maxMessageBytes = 64 * 1024 * 1024;
    // A server reply line (status, listing) longer than this is a server fault.
    qint64 maxReplyLineBytes = 64 * 1024;
    // Retrievals in flight at once when the server pipelines: at most this many
    // messages, and no more than windowBytes by their listed sizes (but at least one).
    int windowMessages = 32;
    qint64 windowBytes = 4 * 1024 * 1024;
};

}  // namespace mail
