#pragma once
// What of a mail is handed to the MIME library. GMime keeps charset names and some
// header values on the stack and builds an object per part, so a hostile header or
// structure is cut here before it reaches GMime; the mail is read from what is left.

#include <QtGlobal>

namespace mime {

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

}  // namespace mime
