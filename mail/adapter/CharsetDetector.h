#pragma once
// Guesses the charset of unlabelled 8-bit text with Debian's libuchardet.

#include <QByteArray>

namespace mail {

// An iconv name, or empty when the detector cannot tell.
QByteArray DetectCharset(const QByteArray& bytes);

}  // namespace mail
