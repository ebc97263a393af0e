#pragma once
// Bytes in a mail's charset to the program's text. Japanese mail is often labelled
// loosely (Shift_JIS for CP932, ISO-2022-JP with vendor characters) or not at all, so a
// failing label falls back to its usual supersets, and unlabelled 8-bit text is detected,
// Japanese encodings first.

#include <QByteArray>
#include <QString>

namespace mime {

QString DecodeCharset(const QByteArray& bytes, const QByteArray& declaredCharset);

// Unlabelled text: ISO-2022-JP by its escapes, then UTF-8 when valid. Longer text: the
// hint (the mail's declared body charset) when it decodes, else the detector's guess.
// Short text (a header), which defeats statistical detectors: the most plausible
// strict reading by the hint or kFallbackCharsets ("Formação" stays Latin-1, four
// bytes of Shift_JIS stay Japanese).
QString DecodeUnlabelled(const QByteArray& bytes, const QByteArray& hint = {});

// How much decoded text looks like a person's writing, per non-ASCII character: kana,
// hangul and ideographs, letters beside letters score; controls, private use, stray
// symbols and half-width katakana (what Latin-1 turns into as Shift_JIS) cost.
double Plausibility(const QString& text);

// The charsets tried, strictly, for 8-bit text nothing else could place, in order of
// preference on a tie. GMime takes the first that converts, and WINDOWS-1252 converts
// anything: what follows it is for DecodeUnlabelled's comparison only.
inline constexpr const char* kFallbackCharsets[] = {"UTF-8", "EUC-JP", "CP932", "WINDOWS-1252",
                                                    "WINDOWS-1251"};

// glibc unloads a charset's converter module when its last converter closes, and
// loading it again costs about a millisecond: one converter per usual mail charset is
// kept open for the life of the process. Called once by InitMessageLibrary.
void KeepUsualConvertersLoaded();

// CR LF, lone CR and lone LF all become CR LF.
QString WithCrLf(const QString& text);

}  // namespace mime
