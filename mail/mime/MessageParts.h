#pragma once
// The parts of a parsed message that matter to the program, found in one walk: the body
// (the first inline plain and HTML text parts, or else text of another subtype) and the
// attached files (leaf parts marked as attachments or carrying a file name, inline
// images included, and each attached message as one). The reader counts the files; a
// whole forward carries the same ones.

#include <gmime/gmime.h>

#include <vector>

namespace mime {

struct MessageParts {
    GMimePart* plainBody = nullptr;  // all borrowed from the message walked
    GMimePart* htmlBody = nullptr;
    GMimePart* otherText = nullptr;
    std::vector<GMimeObject*> files;
};

MessageParts FindParts(GMimeObject* root);

}  // namespace mime
