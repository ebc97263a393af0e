#pragma once
// Bytes in a mail's charset to the program's text. Japanese mail is often labelled
// loosely (Shift_JIS for CP932, ISO-2022-JP with vendor characters) or not at all, so a
// failing label falls back to its usual supersets, and unlabelled 8-bit text is detected,
// Japanese encodings first.

#include <QByteArray>
#include <QString>

namespace mail {

QString DecodeCharset(const QByteArray& bytes, const QByteArray& declaredCharset);

// CR LF, lone CR and lone LF all become CR LF.
QString WithCrLf(const QString& text);

}  // namespace mail
