#pragma once
// The pieces of one reply line the parsers share.

#include <QByteArrayView>
#include <QList>

namespace pop3 {

// The line without its CRLF or LF.
QByteArrayView WithoutLineEnd(QByteArrayView line);
// The words of the line, split at blanks and tabs.
QList<QByteArrayView> Words(QByteArrayView line);

}  // namespace pop3
