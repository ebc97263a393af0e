#include "MessageParts.h"

#include "MimeLimits.h"

namespace mime {
namespace {

bool dispositionAttachment(GMimeObject* object) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition && g_mime_content_disposition_is_attachment(disposition);
}

// An attached file: a leaf part marked as attachment or carrying a file name (inline
// images included). The part chosen as the body is not counted.
bool isFile(GMimeObject* object) {
    return dispositionAttachment(object) ||
           (GMIME_IS_PART(object) && g_mime_part_get_filename(GMIME_PART(object)) != nullptr);
}

bool isType(GMimeObject* object, const char* type, const char* subtype) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    return contentType && g_mime_content_type_is_type(contentType, type, subtype);
}

class PartWalker {
public:
    explicit PartWalker(MessageParts& found) : found_(found) {}

    void walk(GMimeObject* object, int depth) {
        if (!object || depth > MimeLimits::kMaxDepth) return;
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            for (int i = 0; i < count; ++i)
                walk(g_mime_multipart_get_part(multipart, i), depth + 1);
            return;
        }
        // An attached message is one file; its own parts are not this mail's.
        if (GMIME_IS_MESSAGE_PART(object)) return found_.files.push_back(object);
        if (!GMIME_IS_PART(object)) return;
        GMimePart* part = GMIME_PART(object);
        // Inline text (a file name notwithstanding) is the body when there is none yet.
        if (!dispositionAttachment(object)) {
            if (!found_.plainBody && isType(object, "text", "plain"))
                return void(found_.plainBody = part);
            if (!found_.htmlBody && isType(object, "text", "html"))
                return void(found_.htmlBody = part);
        }
        if (isFile(object)) return found_.files.push_back(object);
        // "text" without a subtype (GMime reads it as octet-stream), or an unknown
        // subtype: plain text if nothing better.
        const char* declared = g_mime_object_get_header(object, "Content-Type");
        if (!found_.otherText && !isType(object, "text", "html") &&
            (isType(object, "text", "*") ||
             (declared && g_ascii_strncasecmp(declared, "text", 4) == 0)))
            found_.otherText = part;
    }

private:
    MessageParts& found_;
};

}  // namespace

MessageParts FindParts(GMimeObject* root) {
    MessageParts found;
    PartWalker(found).walk(root, 0);
    return found;
}

}  // namespace mime
