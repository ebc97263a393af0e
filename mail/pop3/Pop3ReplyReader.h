#pragma once
// POP3 replies read from bytes as they arrive, with no I/O of its own: a status line
// ("+OK", "-ERR", or a SASL "+ " challenge) and, for multi-line replies, the lines up to
// the "." alone on a line, dot-unstuffed, with their line ends kept as sent. Every line
// and every body has a bound, checked before the bytes are held, so a hostile server
// makes a reply fail instead of filling memory; a listing line past the line bound is
// cut to it (the rest counted and dropped), so that one odd entry fails no listing.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

#include "mail/net/Connection.h"

namespace pop3 {

using net::Done;
using net::Error;
using net::Result;
using net::Status;

struct Pop3Expect {
    bool multiLine = false;   // "+OK" is followed by lines up to "."
    qint64 maxLineBytes = 0;  // status line; also every body line unless message
    qint64 maxBodyBytes = 0;  // dot-unstuffed body
    bool message = false;     // body lines are unbounded but the body; past it: TooLarge
    bool keepBody = true;     // false: count the body but hold none of it (draining)
};

class Pop3ReplyReader : public net::ReplyReader {
public:
    enum class Status { Ok, Err, Challenge };

    // Starts the next reply; bytes already fed for it are kept.
    void Begin(const Pop3Expect& expect);
    void Feed(QByteArrayView bytes) override;
    // Reads as far as the fed bytes allow.
    Step Parse() override;

    // After Done: the status, its text (without the "+OK "/"-ERR " word) and the body.
    Status status() const { return status_; }
    const QByteArray& text() const { return text_; }
    QByteArray TakeBody() { return std::move(body_); }
    // After Failed: why. The stream cannot be read further.
    const Error& error() const override { return error_; }
    // Bytes of the current reply's body read so far.
    qint64 bodyBytes() const { return bodyBytes_; }
    // Bytes fed and not yet read (replies that follow, when commands are pipelined).
    qsizetype buffered() const override { return buffer_.size() - pos_; }

private:
    Step fail(Error::Kind kind, QString why);
    Step parseStatus();
    Step parseBody();

    Pop3Expect expect_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool inBody_ = false;
    bool skipping_ = false;  // inside a listing line past the line bound
    Status status_ = Status::Err;
    QByteArray text_, body_;
    qint64 bodyBytes_ = 0;
    Error error_;
};

}  // namespace pop3
