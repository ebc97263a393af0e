#include "CharsetText.h"

#include <gmime/gmime.h>
#include <iconv.h>

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "CarrierEmoji.h"
#include "CharsetDetector.h"
#include "GLibHandle.h"

namespace mime {
namespace {

// How many bytes an undecodable character at in takes: a lead byte and its trail byte
// in the double-byte charsets, so that the rest stays in step; one byte elsewhere.
gsize undecodableWidth(const char* charset, const unsigned char* in, gsize left) {
    if (left < 2) return 1;
    const QByteArray name = QByteArray(charset).toUpper();
    const unsigned lead = in[0], trail = in[1];
    if (name == "CP932" || name == "SHIFT_JIS")
        return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) &&
                       trail >= 0x40 && trail <= 0xFC && trail != 0x7F
                   ? 2
                   : 1;
    if (name.startsWith("EUC-")) return lead >= 0xA1 && trail >= 0xA1 ? 2 : 1;
    if (name == "GBK" || name == "GB18030" || name == "CP949" || name.startsWith("BIG5") ||
        name == "CP950")
        return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail != 0x7F ? 2 : 1;
    return 1;
}

bool isShiftJis(const QString& charset) {
    return charset.compare(u"CP932", Qt::CaseInsensitive) == 0 ||
           charset.compare(u"SHIFT_JIS", Qt::CaseInsensitive) == 0;
}

// Carrier emoji of Shift_JIS text (private use after CP932) as Unicode emoji.
QString finished(QString text, const QString& charset) {
    return isShiftJis(charset) ? WithCarrierEmoji(text) : text;
}

// Converts with iconv. Strict: any invalid sequence fails. Lossy: an invalid byte
// becomes U+FFFD and decoding goes on.
std::optional<QString> convert(const QByteArray& bytes, const char* charset, bool lossy) {
    const iconv_t converter = g_mime_iconv_open("UTF-8", charset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    const GMimeIconvPtr owner(converter);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a cached one starts afresh

    QByteArray out;
    QByteArray buffer(4096, Qt::Uninitialized);
    gchar* in = const_cast<gchar*>(bytes.constData());
    gsize inLeft = static_cast<gsize>(bytes.size());
    while (inLeft > 0) {
        gchar* outPtr = buffer.data();
        gsize outLeft = static_cast<gsize>(buffer.size());
        const gsize result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.constData(), buffer.size() - static_cast<qsizetype>(outLeft));
        if (result != static_cast<gsize>(-1)) break;
        if (errno == E2BIG) continue;
        if (!lossy) return std::nullopt;
        out.append("\xEF\xBF\xBD");  // U+FFFD for the character that does not decode
        const gsize width =
            undecodableWidth(charset, reinterpret_cast<const unsigned char*>(in), inLeft);
        in += width;
        inLeft -= width;
    }
    // Flush a shift state (ISO-2022-JP ends in ASCII).
    gchar* outPtr = buffer.data();
    gsize outLeft = static_cast<gsize>(buffer.size());
    iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.constData(), buffer.size() - static_cast<qsizetype>(outLeft));
    return QString::fromUtf8(out);
}

// ISO-2022-JP as Microsoft's mailers write it (the CP50220 family) carries CP932's extra
// characters (circled digits, ㈱, NEC and IBM rows) and half-width katakana (ESC ( I, or
// SO/SI) that iconv's ISO-2022-JP refuses. Their JIS codes map to Shift_JIS
// arithmetically, and CP932 then decodes them. Lossy: unknown escapes are dropped.
std::optional<QByteArray> jisToShiftJis(const QByteArray& bytes, bool lossy) {
    enum class Mode { Ascii, Kanji, Katakana } mode = Mode::Ascii, beforeShiftOut = Mode::Ascii;
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x1b) {
            const QByteArray escape = bytes.mid(i + 1, 2);
            if (escape == "(B" || escape == "(J" || escape == "(H")
                mode = Mode::Ascii;
            else if (escape == "$B" || escape == "$@")
                mode = Mode::Kanji;
            else if (escape == "(I")
                mode = Mode::Katakana;
            else if (!lossy)
                return std::nullopt;
            else if (escape == "$(" || escape == "$)")
                ++i;  // four-byte designations
            i += 2;
        } else if (c == 0x0e) {
            if (mode != Mode::Katakana) beforeShiftOut = mode;
            mode = Mode::Katakana;
        } else if (c == 0x0f) {
            if (mode == Mode::Katakana) mode = beforeShiftOut;
        } else if (c == '\r' || c == '\n' || mode == Mode::Ascii) {
            out += static_cast<char>(c);
        } else if (mode == Mode::Katakana) {
            if (c < 0x21 || c > 0x5f) {
                if (!lossy) return std::nullopt;
                continue;
            }
            out += static_cast<char>(c + 0x80);
        } else {
            const auto second = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (c < 0x21 || c > 0x7e || second < 0x21 || second > 0x7e) {
                if (!lossy) return std::nullopt;
                continue;
            }
            ++i;
            // Rows 0x75-0x7E hold au's emoji: its own Shift_JIS codes, in the user-defined
            // rows, stand for them.
            if (c >= 0x75) {
                constexpr char kAuLead[] = {'\xf6', '\xf7', '\xf3', '\xf4', '\xf5'};
                out += kAuLead[(c - 0x75) / 2];
            } else {
                out += static_cast<char>(((c + 1) >> 1) + (c <= 0x5e ? 0x70 : 0xb0));
            }
            out += static_cast<char>(second + ((c & 1) ? (second < 0x60 ? 0x1f : 0x20) : 0x7e));
        }
    }
    return out;
}

std::optional<QString> convertJisWithExtensions(const QByteArray& bytes, bool lossy) {
    const auto shiftJis = jisToShiftJis(bytes, lossy);
    const auto text = shiftJis ? convert(*shiftJis, "CP932", lossy) : std::nullopt;
    return text ? std::optional(WithCarrierEmoji(*text, Carrier::Kddi)) : std::nullopt;
}

bool isValidUtf8(const QByteArray& bytes) {
    return g_utf8_validate(bytes.constData(), bytes.size(), nullptr);
}

bool isJisLabel(const QByteArray& lowerName) { return lowerName.startsWith("iso-2022-jp"); }

QStringList candidatesFor(const QByteArray& declared) {
    const QByteArray name = declared.toLower().trimmed();
    if (isJisLabel(name)) return {QString::fromLatin1(name), "ISO-2022-JP-2", "ISO-2022-JP-3"};
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" ||
        name == "cp932" || name == "windows-31j" || name == "ms_kanji" || name == "x-ms-cp932")
        return {"CP932", "SHIFT_JIS"};
    if (name == "euc-jp" || name == "x-euc-jp" || name == "eucjp") return {"EUC-JP", "EUC-JP-MS"};
    if (name == "gb2312" || name == "gbk" || name == "x-gbk" || name == "euc-cn")
        return {"GBK", "GB18030"};
    if (name == "ks_c_5601-1987" || name == "euc-kr" || name == "ks_c_5601")
        return {"CP949", "EUC-KR"};
    if (name == "big5") return {"BIG5", "BIG5-HKSCS", "CP950"};
    if (name == "us-ascii" || name == "ascii") return {};  // 8-bit text under it is detected
    const char* iconvName = g_mime_charset_iconv_name(declared.constData());
    return {QString::fromLatin1(iconvName ? iconvName : declared.constData())};
}

std::optional<QString> decodeJis(const QByteArray& bytes) {
    // iconv passes half-width katakana designations through: those go the CP5022x way.
    const bool katakana = bytes.contains("\x1b(I") || bytes.contains('\x0e');
    if (!katakana)
        if (auto text = convert(bytes, "ISO-2022-JP", false); text && !text->contains(u'\x1b'))
            return text;
    if (auto text = convertJisWithExtensions(bytes, false)) return text;
    for (const char* charset : {"ISO-2022-JP-2", "ISO-2022-JP-3"})
        if (auto text = convert(bytes, charset, false)) return text;
    return std::nullopt;
}

// JIS level 1 holds the common kanji; Latin-1 or Cyrillic bytes read as Japanese give
// level 2 ones. EUC-JP writes level 1 with lead bytes 0xB0-0xCF.
// JIS level 1 holds the common kanji; Latin-1 or Cyrillic bytes read as Japanese give
// level 2 ones. EUC-JP writes level 1 with lead bytes 0xB0-0xCF.
class KanjiLevel {
public:
    bool common(QChar c) {
        if (!converter_) converter_.reset(g_mime_iconv_open("EUC-JP", "UTF-8"));
        if (converter_.get() == reinterpret_cast<void*>(-1)) return false;
        QByteArray utf8 = QString(c).toUtf8();
        char euc[8];
        gchar* in = utf8.data();
        gchar* out = euc;
        gsize inLeft = static_cast<gsize>(utf8.size()), outLeft = sizeof euc;
        if (iconv(static_cast<iconv_t>(converter_.get()), &in, &inLeft, &out, &outLeft) ==
            static_cast<size_t>(-1))
            return false;
        const auto lead = static_cast<unsigned char>(euc[0]);
        return out - euc == 2 && lead >= 0xB0 && lead <= 0xCF;
    }

private:
    GMimeIconvPtr converter_;
};

qsizetype nonAsciiCount(const QByteArray& bytes) {
    qsizetype count = 0;
    for (char c : bytes) count += static_cast<unsigned char>(c) >= 0x80;
    return count;
}

bool hasJisEscape(const QByteArray& bytes) {
    return bytes.contains("\x1b$") || bytes.contains("\x1b(");
}

}  // namespace

QString DecodeUnlabelled(const QByteArray& bytes, const QByteArray& hint) {
    // ISO-2022-JP is 7-bit and would pass for UTF-8: its escapes decide first.
    if (hasJisEscape(bytes)) {
        if (auto text = decodeJis(bytes)) return *text;
        if (!isValidUtf8(bytes)) return *convertJisWithExtensions(bytes, true);
    }
    if (isValidUtf8(bytes)) return QString::fromUtf8(bytes);

    // Each charset that decodes the bytes strictly is a reading; the most plausible
    // wins. The hint and, on enough text, the detector's guess are favoured.
    struct Candidate {
        QString charset;
        double bonus;
    };
    std::vector<Candidate> candidates;
    const QByteArray lowerHint = hint.toLower();
    if (!hint.isEmpty() && !lowerHint.startsWith("utf") && !lowerHint.contains("ascii"))
        for (const QString& charset : candidatesFor(hint)) candidates.push_back({charset, 0.5});
    // On enough text (a body) the detector is reliable; on a few bytes (a header) it
    // guesses wildly (a short Latin-1 word as Latin-2 or Greek) and is not asked: the
    // most plausible reading wins, ties going to the earlier charset.
    const bool enoughText = nonAsciiCount(bytes) >= 64;
    const auto detectedReading = [&]() -> std::optional<QString> {
        const QByteArray detected = DetectCharset(enoughText ? bytes.left(8192) : bytes);
        if (detected.isEmpty() || detected.startsWith("ASCII")) return std::nullopt;
        const auto text = convert(bytes, detected.constData(), false);
        return text ? std::optional(finished(*text, QString::fromLatin1(detected))) : text;
    };
    if (enoughText) {
        for (const Candidate& candidate : candidates)
            if (auto text = convert(bytes, candidate.charset.toLatin1().constData(), false))
                return finished(*text, candidate.charset);
        if (auto text = detectedReading()) return *text;
    }
    for (const char* charset : kFallbackCharsets)
        candidates.push_back({QString::fromLatin1(charset), 0.0});

    // Scored as decoded: emoji are put in only for the reading chosen.
    std::optional<QString> best;
    QString bestCharset;
    double bestScore = 0;
    for (const Candidate& candidate : candidates) {
        auto text = convert(bytes, candidate.charset.toLatin1().constData(), false);
        if (!text) continue;
        const double score = Plausibility(*text) + candidate.bonus;
        if (!best || score > bestScore) {
            best = std::move(text);
            bestCharset = candidate.charset;
            bestScore = score;
        }
    }
    if (best) return finished(*best, bestCharset);
    return convert(bytes, "WINDOWS-1252", true).value_or(QString::fromLatin1(bytes));
}

double Plausibility(const QString& text) {
    constexpr int kEnough = 256;  // characters: more tell nothing new
    KanjiLevel kanji;
    double score = 0;
    int counted = 0;
    const auto isAsciiLetterAt = [&](qsizetype i) {
        return i >= 0 && i < text.size() && text[i].unicode() < 0x80 && text[i].isLetter();
    };
    const auto isLetterAt = [&](qsizetype i) {
        return i >= 0 && i < text.size() && text[i].isLetter();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = text[i].unicode();
        if (c < 0x80) continue;
        if (++counted > kEnough) break;
        // Accented Latin letters sit among plain ones ("Formação"); a run of them alone
        // ("ÌÚÏÎë") is what Japanese bytes look like read as Latin-1.
        const bool latin = c >= 0xC0 && c <= 0x24F;
        const bool nearLetter = latin ? isAsciiLetterAt(i - 1) || isAsciiLetterAt(i + 1)
                                      : isLetterAt(i - 1) || isLetterAt(i + 1);
        if ((c >= 0x3041 && c <= 0x30FF) || (c >= 0xAC00 && c <= 0xD7A3))
            score += 2;  // kana, hangul
        else if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF))
            score += kanji.common(text[i]) ? 2 : 1;  // ideographs
        else if ((c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF5E))
            score += 1;  // CJK punctuation
        else if (c >= 0xFF61 && c <= 0xFF9F)
            score -= 1;  // half-width katakana: rare in headers
        else if (c >= 0xE000 && c <= 0xF8FF)
            score -= 1;  // private use
        else if (c >= 0x80 && c <= 0x9F)
            score -= 2;  // C1 controls
        else if (text[i].isLetter() && latin)
            score += nearLetter ? 2 : 0.5;  // accented Latin
        else if (text[i].isLetter() && c >= 0x370)
            score += nearLetter ? 1.5 : 0.5;  // Greek, Cyrillic
        else if (c >= 0x2010 && c <= 0x206F)
            score += 0;  // quotes, dashes, ellipsis
        else if ((c == 0xA3 || c == 0x20AC || c == 0xA5) && i + 1 < text.size() &&
                 text[i + 1].isDigit())
            score += 1;  // £7, €5
        else
            score -= 1;  // other symbols: box drawing, fractions, stray signs
    }
    return counted ? score / std::min(counted, kEnough) : 0;
}

QString DecodeCharset(const QByteArray& bytes, const QByteArray& declaredCharset) {
    if (declaredCharset.isEmpty()) return DecodeUnlabelled(bytes);
    // UTF-8, the most common label, needs no conversion once it is valid.
    const QByteArray label = declaredCharset.toLower().trimmed();
    if ((label == "utf-8" || label == "utf8") && isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    if (isJisLabel(label)) {
        if (auto text = decodeJis(bytes)) return *text;
        // Damaged: keep what can be read, and never an escape byte.
        return *convertJisWithExtensions(bytes, true);
    }
    const QStringList candidates = candidatesFor(declaredCharset);
    for (const QString& charset : candidates)
        if (auto text = convert(bytes, charset.toLatin1().constData(), false))
            return finished(*text, charset);
    // The label is wrong or the text damaged: keep what can be read.
    if (label.startsWith("utf-8") || label == "utf8") return QString::fromUtf8(bytes);
    if (!candidates.isEmpty() && bytes.contains('\x1b'))
        if (auto text = convert(bytes, candidates.last().toLatin1().constData(), true))
            return *text;
    return DecodeUnlabelled(bytes);
}

void KeepUsualConvertersLoaded() {
    struct IconvClose {
        void operator()(void* converter) const { iconv_close(static_cast<iconv_t>(converter)); }
    };
    static const auto kept = [] {
        std::vector<std::unique_ptr<void, IconvClose>> open;
        const char* usual[] = {"ISO-2022-JP",  "ISO-2022-JP-2", "ISO-2022-JP-3", "EUC-JP-MS",
                               "SHIFT_JIS",    "ISO-8859-1",    "ISO-8859-2",    "ISO-8859-15",
                               "WINDOWS-1250", "KOI8-R",        "GBK",           "GB18030",
                               "BIG5",         "CP949",         "EUC-KR",        "UTF-7"};
        const auto keep = [&](const char* charset) {
            const iconv_t converter = iconv_open("UTF-8", charset);
            if (converter != reinterpret_cast<iconv_t>(-1)) open.emplace_back(converter);
        };
        for (const char* charset : kFallbackCharsets) keep(charset);
        for (const char* charset : usual) keep(charset);
        return open;
    }();
    (void)kept;
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

}  // namespace mime
