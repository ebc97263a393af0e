#pragma once
// The attached files of a retrieved message, as parts to carry into a whole forward:
// the parts the reader counts as attached files (MessageParts.h), each with its headers
// and encoded content as the sender wrote them, so that names, types and bytes arrive
// unchanged.

#include <gmime/gmime.h>

#include <QByteArray>
#include <vector>

#include "GLibHandle.h"

namespace mime {

struct AttachedFiles {
    GObjectPtr<GMimeMessage> message;  // owns the parts below
    std::vector<GMimeObject*> parts;   // borrowed from message
};

// None for a message that cannot be parsed or that exceeds the parser's bounds.
AttachedFiles FindAttachedFiles(const QByteArray& raw);

}  // namespace mime
