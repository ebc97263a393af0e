#pragma once
// SMTP replies read from bytes as they arrive, with no I/O of its own: lines
// "ddd-text" up to the last one "ddd text" (RFC 5321 §4.2), each line and the number of
// lines bounded before the bytes are held, so that a hostile server makes the reply
// fail instead of filling memory. Line ends may be CR LF or a bare LF.

#include <QByteArray>
#include <QList>

#include "mail/net/Connection.h"

namespace smtp {

struct SmtpReply {
    int code = 0;
    QList<QByteArray> lines;  // the text of each line, without the code and separator

    bool positive() const { return code >= 200 && code < 400; }
    bool permanent() const { return code >= 500; }
    // The lines joined by blanks, for errors and the log.
    QByteArray text() const { return lines.join(' ').trimmed(); }
};

class SmtpReplyReader : public net::ReplyReader {
public:
    static constexpr qsizetype kMaxLineBytes = 4096;  // RFC 5321 allows 512
    static constexpr int kMaxLines = 256;

    // Starts the next reply; bytes already fed for it are kept.
    void Begin();
    void Feed(QByteArrayView bytes) override;
    Step Parse() override;
    const net::Error& error() const override { return error_; }
    qsizetype buffered() const override { return buffer_.size() - pos_; }

    // After Done.
    SmtpReply Take() { return std::move(reply_); }

private:
    Step fail(QString why);

    QByteArray buffer_;
    qsizetype pos_ = 0;
    SmtpReply reply_;
    net::Error error_;
};

}  // namespace smtp
