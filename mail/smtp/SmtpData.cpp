#include "SmtpData.h"

namespace smtp {
namespace {

QByteArray lines(QByteArrayView message, bool stuff) {
    QByteArray out;
    out.reserve(message.size() + message.size() / 64 + 5);
    bool lineStart = true;
    for (qsizetype i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && stuff && c == '.') out += '.';
        out += c;
        lineStart = false;
    }
    if (!lineStart) out += "\r\n";
    return out;
}

}  // namespace

QByteArray WithCrLf(QByteArrayView message) { return lines(message, false); }

QByteArray DotStuffed(QByteArrayView message) { return lines(message, true) + ".\r\n"; }

}  // namespace smtp
