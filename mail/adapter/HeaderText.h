#pragma once
// Raw header values put into a form GMime decodes right. Two habits of Japanese mail
// need help: ISO-2022-JP left unencoded in a header, and adjacent ISO-2022-JP encoded
// words, which GMime 3.2 merges before converting and then cuts after the first word.
// Both become UTF-8 before GMime reads the value.

#include <QByteArray>

namespace mail {

QByteArray NormaliseHeader(const QByteArray& raw);

// A Date value with the zone names GMime does not know (JST, KST) made numeric.
QByteArray NormaliseDate(const QByteArray& raw);

}  // namespace mail
