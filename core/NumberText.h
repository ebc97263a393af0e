#pragma once
// Reading numbers out of setting values and window fields.

#include <QStringView>
#include <cstdint>
#include <optional>

namespace core {

// The number at the start of text, after any leading or trailing white space (a no-break
// or an ideographic space too) is trimmed: blanks, tabs and line feeds anywhere are skipped;
// an optional sign, digits, a decimal point with further digits and an exponent are
// taken, or &H / &O followed by hexadecimal / octal digits; reading stops at the first
// character that fits none of these, and text without a number gives 0. The result is
// rounded to the nearest whole number, ties to even. Empty when it lies outside the
// 32-bit signed range.
std::optional<std::int32_t> ReadSettingNumber(QStringView text);

// Whether text, apart from leading and trailing blanks, is a plain decimal number:
// optional sign, digits with an optional decimal point and fraction, optional exponent.
bool IsNumericText(QStringView text);

}  // namespace core
