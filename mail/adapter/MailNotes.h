#pragma once
// The texts the mail component itself writes into a mail it hands out.

#include <QString>

namespace mail {

// The body of a mail too large to read; its headers were read instead.
inline QString TooLargeNote(qint64 bytes) {
    return QStringLiteral(
               "（このメールは%1バイトあり、大きすぎるため本文を読んでいません。"
               "サーバーに残しています）\r\n")
        .arg(bytes);
}

// The body of a mail the server would not send; reason is its answer.
inline QString NotRetrievedNote(const QString& reason) {
    return QStringLiteral(
               "（サーバーがこのメールを送りませんでした: %1。サーバーに残しています）\r\n")
        .arg(reason);
}

}  // namespace mail
