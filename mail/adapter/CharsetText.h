#pragma once
// Bytes in a mail's charset to the program's text. Japanese mail is often labelled
// loosely (Shift_JIS for CP932, ISO-2022-JP with vendor characters) or not at all, so a
// failing label falls back to its usual supersets, and unlabelled 8-bit text is detected,
// Japanese encodings first.

#include <QByteArray>
#include <QString>

namespace mail {

QString DecodeCharset(const QByteArray& bytes, const QByteArray& declaredCharset);

// Unlabelled text: ISO-2022-JP by its escapes, then UTF-8 when valid, then the hint
// (the mail's declared body charset), then the detector, then kFallbackCharsets.
QString DecodeUnlabelled(const QByteArray& bytes, const QByteArray& hint = {});

// The charsets tried in turn, strictly, for 8-bit text nothing else could place; the
// last one decodes anything.
inline constexpr const char* kFallbackCharsets[] = {"UTF-8", "EUC-JP", "CP932", "WINDOWS-1252"};

// CR LF, lone CR and lone LF all become CR LF.
QString WithCrLf(const QString& text);

}  // namespace mail
