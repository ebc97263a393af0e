#include "NumberText.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>

namespace core {
namespace {

bool isSkipped(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Gathers the characters that form the number, with the skipped blanks removed.
class Scanner {
public:
    explicit Scanner(QStringView text) : text_(text) {}

    QChar peek() {
        while (pos_ < text_.size() && isSkipped(text_[pos_])) ++pos_;
        return pos_ < text_.size() ? text_[pos_] : QChar();
    }
    QChar take() {
        QChar c = peek();
        ++pos_;
        return c;
    }
    // Position to return to when an optional part turns out incomplete.
    qsizetype mark() const { return pos_; }
    void reset(qsizetype mark) { pos_ = mark; }

private:
    QStringView text_;
    qsizetype pos_ = 0;
};

std::optional<std::int32_t> fromWhole(double value) {
    if (!(value >= std::numeric_limits<std::int32_t>::min() &&
          value <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> readRadix(Scanner& in, int radix) {
    // Saturating: anything past the 32-bit range fails anyway.
    std::uint64_t value = 0;
    for (;;) {
        QChar c = in.peek();
        int digit = -1;
        if (isDigit(c))
            digit = c.unicode() - u'0';
        else if (radix == 16 && c.toLower() >= u'a' && c.toLower() <= u'f')
            digit = c.toLower().unicode() - u'a' + 10;
        if (digit < 0 || digit >= radix) break;
        in.take();
        value = std::min<std::uint64_t>(value * radix + digit, 1ull << 40);
    }
    return fromWhole(static_cast<double>(value));
}

}  // namespace

std::optional<std::int32_t> ReadSettingNumber(QStringView text) {
    // Other blanks (a no-break or an ideographic space) around the number, as the save's
    // check takes them.
    Scanner in(text.trimmed());
    if (in.peek() == u'&') {
        auto start = in.mark();
        in.take();
        QChar kind = in.take().toUpper();
        if (kind == u'H') return readRadix(in, 16);
        if (kind == u'O') return readRadix(in, 8);
        in.reset(start);
        return 0;
    }

    QString number;
    if (in.peek() == u'+' || in.peek() == u'-') number += in.take();
    while (isDigit(in.peek())) number += in.take();
    if (in.peek() == u'.') {
        number += in.take();
        while (isDigit(in.peek())) number += in.take();
    }
    if (number.isEmpty() || !std::any_of(number.begin(), number.end(), isDigit)) return 0;
    if (in.peek() == u'e' || in.peek() == u'E') {
        auto start = in.mark();
        QString exponent = QString(in.take());
        if (in.peek() == u'+' || in.peek() == u'-') exponent += in.take();
        if (isDigit(in.peek())) {
            while (isDigit(in.peek())) exponent += in.take();
            number += exponent;
        } else {
            in.reset(start);
        }
    }
    bool ok = false;
    double value = number.toDouble(&ok);
    if (!ok && !std::isinf(value)) return 0;
    // nearbyint rounds in the default mode: to nearest, ties to even.
    return fromWhole(std::nearbyint(value));
}

bool IsNumericText(QStringView text) {
    QStringView t = text.trimmed();
    qsizetype i = 0;
    auto digits = [&] {
        qsizetype from = i;
        while (i < t.size() && isDigit(t[i])) ++i;
        return i - from;
    };
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
    qsizetype mantissa = digits();
    if (i < t.size() && t[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

}  // namespace core
