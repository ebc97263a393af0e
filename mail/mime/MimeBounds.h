#pragma once
// Cuts a raw message down to what the MIME library may safely be handed (see
// MimeLimits): header fields and their words of bounded length, a bounded number of
// parts. One pass over the lines; a message within the bounds is returned unchanged.

#include <QByteArray>

namespace mime {

struct BoundedMessage {
    QByteArray raw;  // what the MIME library parses
    // Attached files in the parts past the bound, counted from their headers only.
    int filesPastBound = 0;
};

BoundedMessage BoundForParser(const QByteArray& raw);

}  // namespace mime
