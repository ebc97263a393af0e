#include "AttachedFiles.h"

#include "MimeBounds.h"
#include "MimeLimits.h"

namespace mime {
namespace {

bool dispositionAttachment(GMimeObject* object) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition && g_mime_content_disposition_is_attachment(disposition);
}

bool isType(GMimeObject* object, const char* type, const char* subtype) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    return contentType && g_mime_content_type_is_type(contentType, type, subtype);
}

class FileWalker {
public:
    std::vector<GMimeObject*> files;

    void walk(GMimeObject* object, int depth) {
        if (!object || depth > MimeLimits::kMaxDepth) return;
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count; ++i)
                walk(g_mime_multipart_get_part(multipart, i), depth + 1);
            return;
        }
        if (GMIME_IS_MESSAGE_PART(object)) return files.push_back(object);
        if (!GMIME_IS_PART(object)) return;
        if (!dispositionAttachment(object)) {
            if (!plainSeen_ && isType(object, "text", "plain")) return void(plainSeen_ = true);
            if (!htmlSeen_ && isType(object, "text", "html")) return void(htmlSeen_ = true);
        }
        if (dispositionAttachment(object) || g_mime_part_get_filename(GMIME_PART(object)))
            files.push_back(object);
    }

private:
    bool plainSeen_ = false, htmlSeen_ = false;
};

}  // namespace

AttachedFiles FindAttachedFiles(const QByteArray& raw) {
    AttachedFiles found;
    if (raw.isEmpty()) return found;
    // A message cut down to the parser's bounds would lose bytes of its files: it is
    // forwarded as text with its count of attachments, as before.
    if (BoundForParser(raw).raw.size() != raw.size()) return found;
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), raw.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    found.message.reset(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!found.message) return found;
    FileWalker walker;
    walker.walk(g_mime_message_get_mime_part(found.message.get()), 0);
    found.parts = std::move(walker.files);
    return found;
}

}  // namespace mime
