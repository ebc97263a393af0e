#include "CharsetText.h"

#include "GLibHandle.h"

#include <gmime/gmime.h>

#include <QStringList>
#include <cerrno>
#include <optional>

namespace mail {
namespace {

// Converts with iconv. Strict: any invalid sequence fails. Lossy: an invalid byte
// becomes U+FFFD and decoding goes on.
std::optional<QString> convert(const QByteArray& bytes, const char* charset, bool lossy) {
    GIConv converter = g_iconv_open("UTF-8", charset);
    if (converter == reinterpret_cast<GIConv>(-1)) return std::nullopt;
    std::unique_ptr<std::remove_pointer_t<GIConv>, GIConvClose> owner(converter);

    QByteArray out;
    QByteArray buffer(4096, Qt::Uninitialized);
    gchar* in = const_cast<gchar*>(bytes.constData());
    gsize inLeft = static_cast<gsize>(bytes.size());
    while (inLeft > 0) {
        gchar* outPtr = buffer.data();
        gsize outLeft = static_cast<gsize>(buffer.size());
        const gsize result = g_iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.constData(), buffer.size() - static_cast<qsizetype>(outLeft));
        if (result != static_cast<gsize>(-1)) break;
        if (errno == E2BIG) continue;
        if (!lossy) return std::nullopt;
        out.append("\xEF\xBF\xBD");  // U+FFFD for the byte that does not decode
        ++in;
        --inLeft;
    }
    // Flush a shift state (ISO-2022-JP ends in ASCII).
    gchar* outPtr = buffer.data();
    gsize outLeft = static_cast<gsize>(buffer.size());
    g_iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.constData(), buffer.size() - static_cast<qsizetype>(outLeft));
    return QString::fromUtf8(out);
}

// ISO-2022-JP as Microsoft's mailers write it carries CP932's extra characters (circled
// digits, ㈱, NEC and IBM rows) that iconv's ISO-2022-JP refuses. Their JIS codes map to
// Shift_JIS arithmetically, and CP932 then decodes them.
std::optional<QByteArray> jisToShiftJis(const QByteArray& bytes) {
    enum class Mode { Ascii, Kanji, Katakana } mode = Mode::Ascii;
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x1b) {
            const QByteArray escape = bytes.mid(i + 1, 2);
            if (escape == "(B" || escape == "(J") mode = Mode::Ascii;
            else if (escape == "$B" || escape == "$@") mode = Mode::Kanji;
            else if (escape == "(I") mode = Mode::Katakana;
            else return std::nullopt;
            i += 2;
        } else if (c == '\r' || c == '\n' || mode == Mode::Ascii) {
            out += static_cast<char>(c);
        } else if (mode == Mode::Katakana) {
            if (c < 0x21 || c > 0x5f) return std::nullopt;
            out += static_cast<char>(c + 0x80);
        } else {
            if (i + 1 >= bytes.size()) return std::nullopt;
            const auto second = static_cast<unsigned char>(bytes[++i]);
            if (c < 0x21 || c > 0x7e || second < 0x21 || second > 0x7e) return std::nullopt;
            out += static_cast<char>(((c + 1) >> 1) + (c <= 0x5e ? 0x70 : 0xb0));
            out += static_cast<char>(second + ((c & 1) ? (second < 0x60 ? 0x1f : 0x20) : 0x7e));
        }
    }
    return out;
}

std::optional<QString> convertJisWithExtensions(const QByteArray& bytes) {
    const auto shiftJis = jisToShiftJis(bytes);
    return shiftJis ? convert(*shiftJis, "CP932", false) : std::nullopt;
}

bool isValidUtf8(const QByteArray& bytes) {
    return g_utf8_validate(bytes.constData(), bytes.size(), nullptr);
}

QStringList candidatesFor(const QByteArray& declared) {
    const QByteArray name = declared.toLower().trimmed();
    if (name.startsWith("iso-2022-jp"))
        return {QString::fromLatin1(name), "ISO-2022-JP-2", "ISO-2022-JP-3"};
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" ||
        name == "cp932" || name == "windows-31j" || name == "ms_kanji")
        return {"CP932", "SHIFT_JIS"};
    if (name == "euc-jp" || name == "x-euc-jp" || name == "eucjp") return {"EUC-JP", "EUC-JP-MS"};
    if (name == "us-ascii" || name == "ascii") return {};  // 8-bit text under it is detected
    const char* iconvName = g_mime_charset_iconv_name(declared.constData());
    return {QString::fromLatin1(iconvName ? iconvName : declared.constData())};
}

QString detect(const QByteArray& bytes) {
    // ISO-2022-JP is 7-bit and would pass for UTF-8: its escapes decide first.
    if (bytes.contains("\x1b$") || bytes.contains("\x1b(")) {
        for (const char* charset : {"ISO-2022-JP", "ISO-2022-JP-2", "ISO-2022-JP-3"})
            if (auto text = convert(bytes, charset, false)) return *text;
        if (auto text = convertJisWithExtensions(bytes)) return *text;
    }
    if (isValidUtf8(bytes)) return QString::fromUtf8(bytes);
    for (const char* charset : {"EUC-JP", "CP932"})
        if (auto text = convert(bytes, charset, false)) return *text;
    return convert(bytes, "WINDOWS-1252", true).value_or(QString::fromLatin1(bytes));
}

}  // namespace

QString DecodeCharset(const QByteArray& bytes, const QByteArray& declaredCharset) {
    if (declaredCharset.isEmpty()) return detect(bytes);
    // UTF-8, the most common label, needs no conversion once it is valid.
    const QByteArray label = declaredCharset.toLower().trimmed();
    if ((label == "utf-8" || label == "utf8") && isValidUtf8(bytes)) return QString::fromUtf8(bytes);
    const QStringList candidates = candidatesFor(declaredCharset);
    for (const QString& charset : candidates)
        if (auto text = convert(bytes, charset.toLatin1().constData(), false)) return *text;
    if (declaredCharset.toLower().startsWith("iso-2022-jp"))
        if (auto text = convertJisWithExtensions(bytes)) return *text;
    // The label is wrong or the text damaged: keep what can be read.
    if (declaredCharset.toLower().startsWith("utf")) return QString::fromUtf8(bytes);
    if (!candidates.isEmpty() && bytes.contains('\x1b'))
        if (auto text = convert(bytes, candidates.last().toLatin1().constData(), true)) return *text;
    return detect(bytes);
}

QString WithCrLf(const QString& text) {
    // Most text already ends its lines in CR LF: then it is returned as it is.
    const auto alreadyCrLf = [&] {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) return false;
            if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) return false;
        }
        return true;
    };
    if (alreadyCrLf()) return text;
    QString out;
    out.reserve(text.size() + text.size() / 32);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n') continue;
        out += QStringView(text).mid(start, i - start);
        out += QStringLiteral("\r\n");
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    out += QStringView(text).mid(start);
    return out;
}

}  // namespace mail
