#include "AttachedFiles.h"

#include "MessageParts.h"
#include "MimeBounds.h"

namespace mime {

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
    found.parts = FindParts(g_mime_message_get_mime_part(found.message.get())).files;
    return found;
}

}  // namespace mime
