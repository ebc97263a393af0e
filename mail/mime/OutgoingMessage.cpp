#include "OutgoingMessage.h"

#include <gmime/gmime.h>

#include "AttachedFiles.h"
#include "ControlText.h"
#include "GLibHandle.h"
#include "MessageReader.h"

namespace mime {

QString NeutraliseHeaderText(const QString& text) { return BlankControls(text).trimmed(); }

QString CleanAddress(const QString& address) {
    QString out = address;
    out.remove(u'\r').remove(u'\n');
    out = out.trimmed();
    if (out.isEmpty()) return {};
    for (QChar c : out)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F ||
            QStringLiteral("<>()[],;:\"\\").contains(c))
            return {};
    return out;
}

namespace {

// Header text is encoded as UTF-8 always: GMime would otherwise pick the smallest
// charset that holds it, and a label that must then match the bytes.
constexpr const char* kCharset = "utf-8";

void addMailbox(GMimeMessage* message, GMimeAddressType type, const QString& name,
                const QString& address) {
    const QByteArray nameBytes = NeutraliseHeaderText(name).toUtf8();
    GObjectPtr<InternetAddress> mailbox(internet_address_mailbox_new(
        nameBytes.isEmpty() ? nullptr : nameBytes.constData(), address.toUtf8().constData()));
    internet_address_set_charset(mailbox.get(), kCharset);
    internet_address_list_add(g_mime_message_get_addresses(message, type), mailbox.get());
}

// Text that holds "=?" as encoded words of its own, cut at character boundaries. GMime's
// encoder passes such a token through as if it were an encoded word and can then write
// a broken fold; a reader would also decode a literal "=?UTF-8?B?...?=" in the text.
QByteArray encodedWords(const QString& text) {
    QByteArray out, chunk;
    const auto flush = [&] {
        if (chunk.isEmpty()) return;
        out += " =?UTF-8?B?" + chunk.toBase64() + "?=\n";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray character = text.mid(i, length).toUtf8();
        if (chunk.size() + character.size() > 45) flush();  // 60 base64 characters a word
        chunk += character;
        i += length - 1;
    }
    flush();
    return out;
}

void setSubject(GMimeMessage* message, const QString& subject) {
    const QString text = NeutraliseHeaderText(subject);
    g_mime_message_set_subject(message, text.toUtf8().constData(), kCharset);
    if (!text.contains(QStringLiteral("=?"))) return;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    if (GMimeHeader* header = g_mime_header_list_get_header(headers, "Subject"))
        g_mime_header_set_raw_value(header, encodedWords(text).constData());
}

// The body's bytes exactly as given (a NUL included), labelled with their charset.
GObjectPtr<GMimePart> textPart(const QString& body) {
    GObjectPtr<GMimePart> part(GMIME_PART(g_mime_text_part_new_with_subtype("plain")));
    const QByteArray bytes = body.toUtf8();
    GObjectPtr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(bytes.constData(), bytes.size()));
    GObjectPtr<GMimeDataWrapper> content(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part.get(), content.get());
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", kCharset);
    // Base64 keeps every line legal whatever the text holds, and keeps its CR LF exact.
    g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
    return part;
}

}  // namespace

QByteArray BuildMessage(const OutgoingMail& mail) {
    InitMessageLibrary();
    GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    addMailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, mail.fromName, mail.fromAddress);
    addMailbox(message.get(), GMIME_ADDRESS_TYPE_TO, {}, mail.to);
    setSubject(message.get(), mail.subject);
    GDateTimePtr now(g_date_time_new_now_local());
    g_mime_message_set_date(message.get(), now.get());
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
    if (const QString replyTo = CleanAddress(mail.replyToAddress); !replyTo.isEmpty())
        addMailbox(message.get(), GMIME_ADDRESS_TYPE_REPLY_TO, mail.replyToName, replyTo);
    GObjectPtr<GMimePart> text = textPart(mail.body);
    const AttachedFiles files = FindAttachedFiles(mail.original);
    if (files.parts.empty()) {
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(text.get()));
    } else {
        GObjectPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(text.get()));
        for (GMimeObject* file : files.parts) g_mime_multipart_add(mixed.get(), file);
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    }

    GMimeFormatOptionsPtr format(g_mime_format_options_new());
    g_mime_format_options_set_newline_format(format.get(), GMIME_NEWLINE_FORMAT_DOS);
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), format.get(), stream.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data),
                      static_cast<qsizetype>(bytes->len));
}

}  // namespace mime
