#pragma once
// Guesses the charset of unlabelled 8-bit text with Debian's libuchardet.

#include <QByteArray>

namespace mime {

// An iconv name, or empty when the detector cannot tell.
QByteArray DetectCharset(const QByteArray& bytes);

}  // namespace mime
