#pragma once
// Header text that cannot start a line of its own.

#include <QString>

namespace mime {

// CR, LF, every other C0 or C1 control and the Unicode line and paragraph separators
// become a blank.
inline QString BlankControls(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029) c = u' ';
    }
    return text;
}

}  // namespace mime
