#include "CharsetDetector.h"

#include <uchardet.h>

#include <memory>

namespace mime {
namespace {

struct UchardetDelete {
    void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};

}  // namespace

QByteArray DetectCharset(const QByteArray& bytes) {
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, UchardetDelete> detector(uchardet_new());
    if (!detector || uchardet_handle_data(detector.get(), bytes.constData(),
                                          static_cast<size_t>(bytes.size())) != 0)
        return {};
    uchardet_data_end(detector.get());
    const char* charset = uchardet_get_charset(detector.get());
    return charset ? QByteArray(charset) : QByteArray();
}

}  // namespace mime
