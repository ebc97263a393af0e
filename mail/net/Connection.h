#pragma once
// The base both mail sessions stand on: one connection, its TLS set-up, and every wait
// under one rule.
//
// - Connect and each TLS handshake end within timeouts.connectSeconds.
// - Sending or awaiting a reply fails when no byte moved either way for
//   timeouts.idleSeconds, and in any case within Timeouts::TransferMs(size).
// - *ending is looked at every kSliceMs: once it holds, the connection is dropped and
//   the call fails with Error::Kind::Ending.
// - After a failure the connection is dropped and every later call fails with the
//   first reason (broken()); the session decides whether to open a new one.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <atomic>
#include <memory>

#include "Result.h"
#include "Timeouts.h"
#include "Transport.h"

namespace net {

// A reply parser fed with bytes as they arrive (the POP3 and SMTP readers).
class ReplyReader {
public:
    enum class Step { NeedMore, Done, Failed };
    virtual ~ReplyReader() = default;
    virtual void Feed(QByteArrayView bytes) = 0;
    virtual Step Parse() = 0;
    // After Failed: why. The stream cannot be read further.
    virtual const Error& error() const = 0;
    // Bytes fed and not yet read: replies that follow, when commands are pipelined.
    virtual qsizetype buffered() const = 0;
};

class Connection {
public:
    static constexpr int kSliceMs = 250;

    // protocol names the connection in errors ("POP3", "SMTP"); transports made by
    // factory (the socket when null), one per Open.
    Connection(QString protocol, Timeouts timeouts, const std::atomic<bool>* ending,
               TransportFactory factory = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Status Open(const QString& host, quint16 port, bool implicitTls);
    // After the server agreed to STLS or STARTTLS: a byte that came before the
    // handshake would be read as if it had come over TLS, so it fails the connection.
    Status StartTls(const ReplyReader& reader);
    // Hands bytes to the network; a large message is written as the network takes it,
    // so it is held once, bounded by the rule above.
    Status Send(const QByteArray& bytes);
    // Reads until reader has a whole reply; size is what the reply may carry, for the
    // deadline.
    Status Receive(ReplyReader& reader, qint64 size = 0);
    // Whether bytes wait that no command asked for (the stream is out of step).
    bool Unasked(const ReplyReader& reader) const;
    // Whether the connection is open and nothing waits to be read: a server that closed
    // an idle connection (a 421, then the close) fails this.
    bool Idle(const ReplyReader& reader);

    bool open() const { return transport_ != nullptr; }
    bool encrypted() const;
    const QString& broken() const { return broken_; }
    int connectionsOpened() const { return opened_; }
    const Timeouts& timeouts() const { return timeouts_; }

    // Drops the connection and records why; returns the error for the caller to return.
    Error Fail(Error error);
    // Drops the connection without a goodbye: a POP3 server commits nothing then.
    void Abort();
    // The error that says the program is ending.
    Error Ended();

private:
    Status waitUntilUp(bool tls, const QDeadlineTimer& deadline);
    bool ending() const { return ending_ && ending_->load(); }

    QString protocol_;
    Timeouts timeouts_;
    const std::atomic<bool>* ending_;
    TransportFactory factory_;
    std::unique_ptr<Transport> transport_;
    QString host_;
    quint16 port_ = 0;
    QString broken_ = QStringLiteral("not connected");
    int opened_ = 0;
};

}  // namespace net
