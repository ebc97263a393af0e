// libFuzzer: any text as the fields of an outgoing mail must build a message that reads
// back with the same subject (controls as blanks) and the same body.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mail/mime/CharsetText.h"
#include "mail/mime/MessageReader.h"
#include "mail/mime/OutgoingMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = text.size() / 3;
    mime::OutgoingMail mail;
    mail.fromAddress = QStringLiteral("relay@example.jp");
    mail.to = QStringLiteral("me@example.jp");
    mail.fromName = text.left(cut);
    mail.subject = text.mid(cut, cut);
    mail.body = mime::WithCrLf(text.mid(2 * cut));
    const QByteArray built = mime::BuildMessage(mail);
    const mime::ReadMail read = mime::ReadMessage(built, QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    // The body goes out as base64 of its UTF-8 bytes and must come back whole (a lone
    // surrogate left by the cut above is '?' in UTF-8).
    if (read.body != QString::fromUtf8(mail.body.toUtf8())) std::abort();
    return 0;
}
