// libFuzzer: any bytes as a retrieved message must decode without crashing or stalling.

#include <cstddef>
#include <cstdint>

#include "mail/mime/MessageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const mime::ReadMail read = mime::ReadMessage(raw, QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    // Touch every field so that a bad string is noticed by the sanitizers.
    return (read.body.size() + read.subject.size() + read.displayName.size() + read.address.size() +
            read.dateText.size() + read.attachCount) < 0;
}
