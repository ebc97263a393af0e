#include "Pop3Listing.h"

#include <climits>
#include <limits>

#include "Pop3Line.h"

namespace pop3 {
namespace {

std::optional<qint64> decimal(QByteArrayView digits, qint64 max) {
    if (digits.isEmpty() || digits.size() > 18) return std::nullopt;
    qint64 value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

}  // namespace

std::optional<Pop3UidLine> ParseUidlLine(QByteArrayView line) {
    const QList<QByteArrayView> parts = Words(WithoutLineEnd(line));
    if (parts.isEmpty()) return std::nullopt;
    const auto number = decimal(parts[0], INT_MAX);
    if (!number || *number == 0) return std::nullopt;
    const Pop3UidLine odd{static_cast<int>(*number), QByteArray()};
    if (parts.size() != 2 || parts[1].size() > kMaxUidBytes) return odd;
    for (const char c : parts[1])
        if (c < 0x21 || c > 0x7e) return odd;
    return Pop3UidLine{static_cast<int>(*number), parts[1].toByteArray()};
}

std::optional<Pop3SizeLine> ParseListLine(QByteArrayView line) {
    const QList<QByteArrayView> parts = Words(WithoutLineEnd(line));
    if (parts.size() < 2) return std::nullopt;  // RFC 1939 allows more after the size
    const auto number = decimal(parts[0], INT_MAX);
    const auto size = decimal(parts[1], std::numeric_limits<qint64>::max() / 4);
    if (!number || *number == 0 || !size) return std::nullopt;
    return Pop3SizeLine{static_cast<int>(*number), *size};
}

}  // namespace pop3
