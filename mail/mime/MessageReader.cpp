#include "MessageReader.h"

#include <gmime/gmime.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>

#include "CharsetText.h"
#include "ControlText.h"
#include "GLibHandle.h"
#include "HeaderText.h"
#include "HtmlText.h"
#include "MessageParts.h"
#include "MimeBounds.h"
#include "MimeLimits.h"

namespace mime {
namespace {

QString fromUtf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

// A header's text as the digest may show it: no decoded value can start a line of its own.
QString asFieldText(QString text) {
    text.truncate(MimeLimits::kMaxHeaderTextChars);
    return BlankControls(std::move(text));
}

// The value of a header as it stands in the message, unfolded; empty when absent.
QByteArray rawHeader(GMimeMessage* message, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    if (!raw) return {};
    GCharPtr unfolded(g_mime_utils_header_unfold(raw));
    return QByteArray(unfolded.get()).trimmed();
}

GMimeParserOptions* parserOptions();

QByteArray decodedContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return {};
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, stream.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data),
                      static_cast<qsizetype>(bytes->len));
}

QByteArray declaredCharset(GMimeObject* object) {
    const char* charset =
        object ? g_mime_object_get_content_type_parameter(object, "charset") : nullptr;
    return charset ? QByteArray(charset) : QByteArray();
}

QString partText(GMimePart* part) {
    return DecodeCharset(decodedContent(part), declaredCharset(GMIME_OBJECT(part)));
}

QString offsetText(int seconds) {
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2%3")
        .arg(QChar(seconds < 0 ? u'-' : u'+'))
        .arg(minutes / 60, 2, 10, QChar(u'0'))
        .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString dateText(GMimeMessage* message, const QDateTime& retrievedAt) {
    const QByteArray raw = message ? NormaliseDate(rawHeader(message, "Date")) : QByteArray();
    GDateTimePtr date(raw.isEmpty() ? nullptr : g_mime_utils_header_decode_date(raw.constData()));
    if (date) {
        GCharPtr text(g_date_time_format(date.get(), "%Y/%m/%d %H:%M:%S %z"));
        if (text) return QString::fromUtf8(text.get());
    }
    const QDateTime local = retrievedAt.toLocalTime();
    return local.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss ")) +
           offsetText(local.offsetFromUtc());
}

// "Name <address>" taken as written, for what GMime's address parser rejects: the
// dotted addresses Japanese mobile carriers issued, "MAILER DAEMON <>", a bare name.
void readSenderAsWritten(const QByteArray& value, const QByteArray& hint, ReadMail& mail) {
    const qsizetype open = value.lastIndexOf('<');
    const qsizetype close = open < 0 ? -1 : value.indexOf('>', open);
    QByteArray name = value;
    if (close > open) {
        mail.address = QString::fromUtf8(value.mid(open + 1, close - open - 1).trimmed());
        name = value.left(open);
    } else if (!value.trimmed().contains(' ') && !value.contains("=?")) {
        mail.address = QString::fromUtf8(value.trimmed());
        name.clear();
    }
    name = name.trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2);
    mail.displayName = DecodeHeaderText(name, hint).trimmed();
}

void readSender(GMimeMessage* message, const QByteArray& hint, ReadMail& mail) {
    const QByteArray raw = NormaliseHeader(rawHeader(message, "From"), hint);
    if (raw.isEmpty()) return;
    GObjectPtr<InternetAddressList> list(
        internet_address_list_parse(parserOptions(), raw.constData()));
    InternetAddressList* from = list.get();
    // The first mailbox, also when it stands inside a group.
    for (int i = 0; from && i < internet_address_list_length(from); ++i) {
        InternetAddress* address = internet_address_list_get_address(from, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            InternetAddressList* members =
                internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
            if (!members || internet_address_list_length(members) == 0) continue;
            address = internet_address_list_get_address(members, 0);
        }
        if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
        const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        // A lone encoded word is a name that GMime would take for an address.
        if (!addr || !*addr || (!strchr(addr, '@') && !raw.contains('<'))) break;
        mail.displayName = fromUtf8(internet_address_get_name(address));
        mail.address = fromUtf8(addr);
        return;
    }
    readSenderAsWritten(raw, hint, mail);
}

GMimeParserOptions* parserOptions() {
    static GMimeParserOptions* options = [] {
        GMimeParserOptions* made = g_mime_parser_options_new();
        // What GMime still decodes itself (parameters) follows the one fallback order.
        const char* fallback[std::size(kFallbackCharsets) + 1] = {};
        std::copy(std::begin(kFallbackCharsets), std::end(kFallbackCharsets), fallback);
        g_mime_parser_options_set_fallback_charsets(made, fallback);
        g_mime_parser_options_set_rfc2047_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
        return made;
    }();
    return options;
}

}  // namespace

void InitMessageLibrary() {
    static std::once_flag once;
    // Both libraries set up their shared tables here, before messages are read on
    // more than one thread at a time.
    std::call_once(once, [] {
        g_mime_init();
        xmlInitParser();
        KeepUsualConvertersLoaded();
    });
}

ReadMail ReadMessage(const QByteArray& raw, const QDateTime& retrievedAt) {
    InitMessageLibrary();
    ReadMail mail;
    const BoundedMessage bounded = BoundForParser(raw);
    GObjectPtr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(bounded.raw.constData(), bounded.raw.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GObjectPtr<GMimeMessage> message(
        g_mime_parser_construct_message(parser.get(), parserOptions()));
    if (!message) {
        mail.body = WithCrLf(DecodeCharset(raw, {}));
        mail.dateText = dateText(nullptr, retrievedAt);
        return mail;
    }

    MessageParts walker = FindParts(g_mime_message_get_mime_part(message.get()));
    if (!walker.plainBody && !walker.htmlBody) walker.plainBody = walker.otherText;
    GMimePart* body = walker.plainBody ? walker.plainBody : walker.htmlBody;
    // The body's declared charset is the best guess for undeclared 8-bit header text.
    const QByteArray hint = declaredCharset(GMIME_OBJECT(body));

    readSender(message.get(), hint, mail);
    mail.displayName = asFieldText(mail.displayName);
    mail.address = asFieldText(mail.address);
    mail.subject = asFieldText(DecodeHeaderText(rawHeader(message.get(), "Subject"), hint));
    mail.dateText = dateText(message.get(), retrievedAt);

    if (walker.plainBody)
        mail.body = WithCrLf(partText(walker.plainBody));
    else if (walker.htmlBody)
        mail.body = WithCrLf(HtmlToText(partText(walker.htmlBody)));
    mail.attachCount = static_cast<std::int32_t>(std::ssize(walker.files) + bounded.filesPastBound);
    return mail;
}

}  // namespace mime
