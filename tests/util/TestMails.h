#pragma once
// Mails built for tests and benchmarks.

#include <QByteArray>

namespace testutil {

// A multipart mail with a short text and count small attached files.
inline QByteArray ManyAttachments(int count) {
    QByteArray raw =
        "From: many@example.com\r\nSubject: many\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
        "Content-Type: text/plain\r\n\r\nthe text\r\n";
    for (int i = 0; i < count; ++i)
        raw +=
            "--b\r\nContent-Type: application/octet-stream\r\n"
            "Content-Disposition: attachment; filename=\"f" +
            QByteArray::number(i) + ".bin\"\r\n\r\nAAAA\r\n";
    return raw + "--b--\r\n";
}

}  // namespace testutil
