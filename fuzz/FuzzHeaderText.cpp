// libFuzzer: any bytes as a header value (encoded-word joining, raw 8-bit text through
// the charset detector) and as a body of unknown charset must decode without crashing.

#include <cstddef>
#include <cstdint>

#include "mail/mime/CharsetText.h"
#include "mail/mime/HeaderText.h"
#include "mail/mime/MessageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mime::InitMessageLibrary();  // as ReadMessage does before any decoding
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // The first byte picks the hint, as the body's declared charset would.
    static const char* hints[] = {"",     "iso-2022-jp", "shift_jis", "euc-kr",
                                  "big5", "utf-7",       "koi8-r"};
    const QByteArray hint = size ? hints[data[0] % std::size(hints)] : "";
    const QString text = mime::DecodeHeaderText(raw, hint);
    const QByteArray normalised = mime::NormaliseHeader(raw, hint);
    const QString body = mime::DecodeCharset(raw, hint);
    const QString guessed = mime::DecodeUnlabelled(raw, hint);
    return (text.size() + normalised.size() + body.size() + guessed.size()) < 0;
}
