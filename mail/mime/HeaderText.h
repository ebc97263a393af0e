#pragma once
// Header values as mail in the wild writes them, read the way mature mail readers do:
// adjacent RFC 2047 encoded words of one charset have their bytes joined before
// decoding (a character may be split across words), the blank between encoded words
// is dropped while blanks inside them are kept, Shift_JIS is read as CP932, raw 8-bit
// and raw ISO-2022-JP text is detected. Bytes that cannot be decoded never cut the rest.

#include <QByteArray>
#include <QString>

namespace mime {

// An unstructured value (Subject, a display name), unfolded. The hint is the mail's
// declared body charset, used for undeclared 8-bit text.
QString DecodeHeaderText(const QByteArray& raw, const QByteArray& hint = {});

// A structured value (From) in a form GMime's address parser reads right: raw 8-bit
// text as UTF-8, each run of encoded words as one UTF-8 encoded word.
QByteArray NormaliseHeader(const QByteArray& raw, const QByteArray& hint = {});

// A Date value with the zone names GMime does not know (JST, KST) made numeric.
QByteArray NormaliseDate(const QByteArray& raw);

}  // namespace mime
