#pragma once
// Emoji from Japanese mobile phones. docomo, au (KDDI) and SoftBank phones write them
// in Shift_JIS's user-defined rows (0xF040-0xF9FC), which CP932 decodes to the private
// use code points U+E000-U+E757 that no other device shows. The Unicode Consortium's
// EmojiSources.txt maps each carrier's codes to standard emoji; the table is generated
// from it at build time.

#include <QString>

namespace mime {

enum class Carrier { Unknown, Kddi };

// The text with each private use character of the user-defined rows replaced by its
// carrier's standard emoji, or by 〓 where the carrier has none. The carriers' codes
// overlap: unless the carrier is known (au's ISO-2022-JP), the first of docomo, au and
// SoftBank that knows every code of the text is taken.
QString WithCarrierEmoji(const QString& text, Carrier carrier = Carrier::Unknown);

}  // namespace mime
