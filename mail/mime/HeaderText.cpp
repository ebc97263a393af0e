#include "HeaderText.h"

#include <QList>
#include <QRegularExpression>

#include "CharsetText.h"

namespace mime {
namespace {

// One piece of a header value: literal text, or a run of adjacent encoded words.
struct Piece {
    QByteArray literal;  // UTF-8
    bool encoded = false;
    QString decoded;
};

bool isAsciiOnly(const QByteArray& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\x1b' || c == '\x0e') return false;
    return true;
}

QByteArray decodeWordPayload(QByteArrayView encoding, QByteArrayView text) {
    if (encoding == "B" || encoding == "b") return QByteArray::fromBase64(text.toByteArray());
    QByteArray q = text.toByteArray();
    q.replace('_', ' ');
    return QByteArray::fromPercentEncoding(q, '=');
}

QByteArray charsetName(QByteArrayView label) {
    // RFC 2231 language suffix: =?UTF-8*ja?B?...?=
    const qsizetype star = label.indexOf('*');
    return (star < 0 ? label : label.first(star)).toByteArray().toLower();
}

// Splits a value into pieces; literal pieces keep their bytes as they are. Adjacent words (only
// blanks between them) of one charset are decoded as one byte string; the blanks between them are
// dropped.
QList<Piece> split(const QByteArray& value) {
    static const QRegularExpression word(
        QStringLiteral("=\\?([^? \\t\\r\\n]{1,64})\\?([BbQq])\\?([^? \\t\\r\\n]*)\\?="));
    const QString text = QString::fromLatin1(value);
    QList<Piece> pieces;
    QByteArray pendingCharset, pendingBytes;
    bool pending = false;
    auto flush = [&] {
        if (!pending) return;
        Piece piece;
        piece.encoded = true;
        piece.decoded = DecodeCharset(pendingBytes, pendingCharset);
        pieces.append(piece);
        pending = false;
        pendingBytes.clear();
    };
    qsizetype last = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QByteArray between = value.mid(last, match.capturedStart() - last);
        const QByteArray charset = charsetName(match.capturedView(1).toLatin1());
        const QByteArray bytes =
            decodeWordPayload(match.capturedView(2).toLatin1(), match.capturedView(3).toLatin1());
        const bool onlyBlanks = between.trimmed().isEmpty();
        if (!(pending && onlyBlanks)) {
            flush();
            if (!between.isEmpty()) pieces.append(Piece{between, false, {}});
        } else if (charset != pendingCharset) {
            flush();
        }
        pending = true;
        pendingCharset = charset;
        pendingBytes += bytes;
        last = match.capturedEnd();
    }
    flush();
    if (last < value.size()) pieces.append(Piece{value.mid(last), false, {}});
    return pieces;
}

// The value with raw 8-bit or ISO-2022-JP text turned into UTF-8.
QByteArray literalAsUtf8(const QByteArray& raw, const QByteArray& hint) {
    if (isAsciiOnly(raw)) return raw;
    return DecodeUnlabelled(raw, hint).toUtf8();
}

// The value's pieces, literal ones in UTF-8. Raw 8-bit bytes inside an encoded word
// (as Eudora wrote them) are the word's own charset and are decoded with it, once. Raw
// ISO-2022-JP may hold "=?" in its 7-bit codes: such a value is decoded as a whole first.
QList<Piece> pieces(const QByteArray& raw, const QByteArray& hint) {
    const bool rawJis = raw.contains('\x1b') || raw.contains('\x0e');
    QList<Piece> parts = split(rawJis ? literalAsUtf8(raw, hint) : raw);
    for (Piece& piece : parts)
        if (!piece.encoded) piece.literal = literalAsUtf8(piece.literal, hint);
    return parts;
}

}  // namespace

QString DecodeHeaderText(const QByteArray& raw, const QByteArray& hint) {
    if (!raw.contains("=?")) return QString::fromUtf8(literalAsUtf8(raw, hint));
    QString out;
    for (const Piece& piece : pieces(raw, hint))
        out += piece.encoded ? piece.decoded : QString::fromUtf8(piece.literal);
    return out;
}

QByteArray NormaliseHeader(const QByteArray& raw, const QByteArray& hint) {
    if (!raw.contains("=?")) return literalAsUtf8(raw, hint);
    QByteArray out;
    for (const Piece& piece : pieces(raw, hint))
        out +=
            piece.encoded ? "=?UTF-8?B?" + piece.decoded.toUtf8().toBase64() + "?=" : piece.literal;
    return out;
}

QByteArray NormaliseDate(const QByteArray& raw) {
    static const QRegularExpression zone(
        QStringLiteral("(\\d{1,2}:\\d{2}(?::\\d{2})?)\\s+(JST|KST)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return QString::fromLatin1(raw).replace(zone, QStringLiteral("\\1 +0900")).toLatin1();
}

}  // namespace mime
