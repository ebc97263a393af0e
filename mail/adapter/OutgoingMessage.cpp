#include "OutgoingMessage.h"

#include "GLibHandle.h"
#include "MessageReader.h"

#include <gmime/gmime.h>

namespace mail {

QString NeutraliseHeaderText(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u' ';
    return out;
}

QString CleanAddress(const QString& address) {
    QString out = address;
    out.remove(u'\r').remove(u'\n');
    out = out.trimmed();
    if (out.isEmpty()) return {};
    for (QChar c : out)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F || QStringLiteral("<>()[],;:\"\\").contains(c))
            return {};
    return out;
}

QByteArray BuildMessage(const OutgoingMail& mail) {
    InitMessageLibrary();
    GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    const QByteArray fromName = NeutraliseHeaderText(mail.fromName).toUtf8();
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM,
                               fromName.isEmpty() ? nullptr : fromName.constData(),
                               mail.fromAddress.toUtf8().constData());
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO, nullptr,
                               mail.to.toUtf8().constData());
    g_mime_message_set_subject(message.get(), NeutraliseHeaderText(mail.subject).toUtf8().constData(),
                               "utf-8");
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(message.get(), now);
    g_date_time_unref(now);
    const qsizetype at = mail.fromAddress.lastIndexOf(u'@');
    const QByteArray domain =
        at >= 0 ? mail.fromAddress.mid(at + 1).toUtf8() : QByteArray("tarnpost.localhost");
    if (mail.key.isEmpty()) {
        GCharPtr id(g_mime_utils_generate_message_id(domain.constData()));
        g_mime_message_set_message_id(message.get(), id.get());
    } else {
        const QByteArray id = "tarnpost." + mail.key.toLatin1() + '@' + domain;
        g_mime_message_set_message_id(message.get(), id.constData());
    }

    // Base64 keeps every line legal whatever the text holds, and keeps its CR LF exact.
    GObjectPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(part.get(), mail.body.toUtf8().constData());
    g_mime_text_part_set_charset(part.get(), "utf-8");
    g_mime_part_set_content_encoding(GMIME_PART(part.get()), GMIME_CONTENT_ENCODING_BASE64);
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(part.get()));

    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), format, stream.get());
    g_mime_format_options_free(format);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
}

}  // namespace mail
