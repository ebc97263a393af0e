#pragma once
// A server's own text as it may appear in an error, the log or a status text: control
// bytes blanked, cut short, so that a hostile reply cannot forge a log line or flood a
// message box.

#include <QByteArrayView>
#include <QString>

namespace net {

QString ShortServerText(QByteArrayView bytes);

}  // namespace net
