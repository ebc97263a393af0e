#include "Pop3Line.h"

namespace pop3 {

QByteArrayView WithoutLineEnd(QByteArrayView line) {
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

QList<QByteArrayView> Words(QByteArrayView line) {
    QList<QByteArrayView> result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ' || line[i] == '\t') {
            if (i > start) result << line.sliced(start, i - start);
            start = i + 1;
        }
    }
    return result;
}

}  // namespace pop3
