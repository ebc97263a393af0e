#include "ServerText.h"

#include <QByteArray>
#include <algorithm>

namespace net {

QString ShortServerText(QByteArrayView bytes) {
    QByteArray text = bytes.first(std::min<qsizetype>(bytes.size(), 200)).toByteArray();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return QString::fromUtf8(text).trimmed();
}

}  // namespace net
