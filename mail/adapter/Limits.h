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
    // Retrievals in flight at once when the server pipelines: no more than windowBytes
    // by their listed sizes (but at least one), refilled as each one completes, so that
    // a slow line stays busy; windowMessages only bounds the commands queued for a
    // mailbox of tiny mails.
    int windowMessages = 1000;
    qint64 windowBytes = 4 * 1024 * 1024;
};

// What of a mail is handed to the MIME library. GMime keeps charset names and some
// header values on the stack and builds an object per part, so a hostile header or
// structure is cut here before it reaches GMime; the mail is read from what is left.
struct MimeLimits {
    // One header field, folded lines joined; the rest of a longer field is dropped.
    static constexpr qsizetype kMaxHeaderFieldBytes = 64 * 1024;
    // One word of a header field (a parameter value, a charset name, an encoded word);
    // a longer one is cut. Real values (Message-IDs, DKIM signatures) stay far below.
    static constexpr qsizetype kMaxHeaderWordBytes = 4 * 1024;
    // Parts of a multipart mail handed to GMime; the attachments after them are only
    // counted from their headers.
    static constexpr int kMaxParts = 1000;
    // Nesting beyond this is neither parsed nor searched for a body or attachments.
    static constexpr int kMaxDepth = 32;
    // Decoded text of one header (subject, sender) kept for the digest.
    static constexpr qsizetype kMaxHeaderTextChars = 16 * 1024;
};

}  // namespace mail
