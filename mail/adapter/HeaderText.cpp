#include "HeaderText.h"

#include "CharsetText.h"

#include <QRegularExpression>

namespace mail {
namespace {

// =?ISO-2022-JP?B?...?= as =?UTF-8?B?...?=, the decoded text unchanged.
QByteArray reencodeJisWords(const QByteArray& raw) {
    static const QRegularExpression word(
        QStringLiteral("=\\?(iso-2022-jp[^?*]*)(?:\\*[^?]*)?\\?b\\?([A-Za-z0-9+/=]*)\\?="),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromLatin1(raw);
    QString out;
    qsizetype last = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QByteArray decoded = QByteArray::fromBase64(match.captured(2).toLatin1());
        const QByteArray utf8 = DecodeCharset(decoded, match.captured(1).toLatin1()).toUtf8();
        out += text.mid(last, match.capturedStart() - last);
        out += QStringLiteral("=?UTF-8?B?") + QString::fromLatin1(utf8.toBase64()) +
               QStringLiteral("?=");
        last = match.capturedEnd();
    }
    out += text.mid(last);
    return out.toLatin1();
}

}  // namespace

QByteArray NormaliseHeader(const QByteArray& raw) {
    QByteArray value = raw;
    if (value.contains('\x1b')) value = DecodeCharset(value, "ISO-2022-JP").toUtf8();
    if (!value.contains("=?")) return value;
    // Only the ASCII encoded words are rewritten; other bytes pass through.
    QByteArray out;
    qsizetype start = 0;
    while (start < value.size()) {
        qsizetype end = start;
        const bool ascii = static_cast<unsigned char>(value[start]) < 0x80;
        while (end < value.size() && (static_cast<unsigned char>(value[end]) < 0x80) == ascii) ++end;
        const QByteArray run = value.mid(start, end - start);
        out += ascii ? reencodeJisWords(run) : run;
        start = end;
    }
    return out;
}

QByteArray NormaliseDate(const QByteArray& raw) {
    static const QRegularExpression zone(
        QStringLiteral("(\\d{1,2}:\\d{2}(?::\\d{2})?)\\s+(JST|KST)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return QString::fromLatin1(raw).replace(zone, QStringLiteral("\\1 +0900")).toLatin1();
}

}  // namespace mail
