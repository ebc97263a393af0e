#include "CarrierEmoji.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace mime {
namespace {

struct CarrierEmojiRow {
    std::uint16_t code;  // Shift_JIS
    const char16_t* text;
};

#include "CarrierEmojiTable.inc"

constexpr char16_t kFirstUserDefined = 0xE000, kLastUserDefined = 0xE757;
constexpr char16_t kGeta = u'〓';  // what Japanese print puts for a character it lacks

bool isUserDefined(char16_t c) { return c >= kFirstUserDefined && c <= kLastUserDefined; }

// CP932 numbers the user-defined rows 0xF0-0xF9 in order, 188 trail bytes each
// (0x40-0x7E, 0x80-0xFC).
std::uint16_t shiftJisCode(char16_t c) {
    const int index = c - kFirstUserDefined;
    const int trail = index % 188;
    return static_cast<std::uint16_t>((0xF0 + index / 188) << 8 |
                                      (trail < 0x3F ? 0x40 + trail : 0x41 + trail));
}

const char16_t* find(std::span<const CarrierEmojiRow> table, std::uint16_t code) {
    const auto row = std::lower_bound(
        table.begin(), table.end(), code,
        [](const CarrierEmojiRow& r, std::uint16_t wanted) { return r.code < wanted; });
    return row != table.end() && row->code == code ? row->text : nullptr;
}

using Table = std::span<const CarrierEmojiRow>;

std::vector<Table> tablesFor(const QString& text, Carrier carrier) {
    if (carrier == Carrier::Kddi) return {Table(kKddi)};
    const std::array<Table, 3> all = {Table(kDocomo), Table(kKddi), Table(kSoftBank)};
    for (const Table& table : all) {
        const bool knowsEvery = std::all_of(text.begin(), text.end(), [&](QChar c) {
            return !isUserDefined(c.unicode()) || find(table, shiftJisCode(c.unicode()));
        });
        if (knowsEvery) return {table};
    }
    return {all.begin(), all.end()};  // mixed or unknown: each code from the first that has it
}

}  // namespace

QString WithCarrierEmoji(const QString& text, Carrier carrier) {
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return isUserDefined(c.unicode()); }))
        return text;
    const std::vector<Table> tables = tablesFor(text, carrier);
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (!isUserDefined(c.unicode())) {
            out += c;
            continue;
        }
        const char16_t* emoji = nullptr;
        for (const Table& table : tables)
            if ((emoji = find(table, shiftJisCode(c.unicode())))) break;
        out += emoji ? QString::fromUtf16(emoji) : QString(QChar(kGeta));
    }
    return out;
}

}  // namespace mime
