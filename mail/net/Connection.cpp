#include "Connection.h"

#include <QElapsedTimer>
#include <algorithm>

#include "SocketTransport.h"

namespace net {
namespace {

constexpr qint64 kChunkBytes = 256 * 1024;  // read or written at a time
// Held for the network at most: a large message is handed over as it drains.
constexpr qint64 kWriteAheadBytes = 1024 * 1024;

Error failure(QString message) { return Error{Error::Kind::Failed, std::move(message)}; }

}  // namespace

Connection::Connection(QString protocol, Timeouts timeouts, const std::atomic<bool>* ending,
                       TransportFactory factory)
    : protocol_(std::move(protocol)),
      timeouts_(timeouts),
      ending_(ending),
      factory_(factory ? std::move(factory) : TransportFactory(&MakeSocketTransport)) {}

Connection::~Connection() { Abort(); }

bool Connection::encrypted() const { return transport_ && transport_->encrypted(); }

void Connection::Abort() {
    if (!transport_) return;
    transport_->Abort();
    transport_.reset();
    if (broken_.isEmpty()) broken_ = QStringLiteral("the %1 connection is closed").arg(protocol_);
}

Error Connection::Fail(Error error) {
    Abort();
    broken_ = error.message;
    return error;
}

Error Connection::Ended() {
    return Fail(Error{Error::Kind::Ending, QStringLiteral("the program is ending")});
}

Status Connection::Open(const QString& host, quint16 port, bool implicitTls) {
    Abort();
    broken_.clear();
    host_ = host;
    port_ = port;
    transport_ = factory_();
    ++opened_;
    transport_->Connect(host, port, implicitTls);
    return waitUntilUp(implicitTls, QDeadlineTimer(timeouts_.connectSeconds * 1000));
}

Status Connection::StartTls(const ReplyReader& reader) {
    if (!transport_) return failure(broken_);
    if (Unasked(reader))
        return Fail(failure(QStringLiteral("the server sent data before the TLS handshake")));
    transport_->StartTls();
    return waitUntilUp(true, QDeadlineTimer(timeouts_.connectSeconds * 1000));
}

Status Connection::waitUntilUp(bool tls, const QDeadlineTimer& deadline) {
    for (;;) {
        const Transport::State state = transport_->state();
        if (state == Transport::State::Open && (!tls || transport_->encrypted())) return Done{};
        if (state == Transport::State::Closed)
            return Fail(failure(QStringLiteral("no %1 connection to %2:%3: %4")
                                    .arg(tls ? QStringLiteral("TLS") : protocol_, host_)
                                    .arg(port_)
                                    .arg(transport_->errorString())));
        if (ending()) return Ended();
        if (deadline.hasExpired())
            return Fail(failure(QStringLiteral("no connection to %1:%2 within %3 s")
                                    .arg(host_)
                                    .arg(port_)
                                    .arg(timeouts_.connectSeconds)));
        transport_->Wait(kSliceMs);
    }
}

Status Connection::Send(const QByteArray& bytes) {
    if (!transport_) return failure(broken_);
    const qint64 allowedMs = timeouts_.TransferMs(bytes.size());
    const QDeadlineTimer deadline(allowedMs);
    QElapsedTimer idle;
    idle.start();
    qint64 handed = 0, lastPending = transport_->bytesToWrite();
    for (;;) {
        if (ending()) return Ended();
        while (handed < bytes.size() && transport_->bytesToWrite() < kWriteAheadBytes) {
            const qint64 n = std::min(kChunkBytes, bytes.size() - handed);
            if (!transport_->Write(bytes.mid(handed, n)))
                return Fail(failure(QStringLiteral("cannot send to the %1 server: %2")
                                        .arg(protocol_, transport_->errorString())));
            handed += n;
            idle.restart();
        }
        if (handed == bytes.size()) return Done{};  // the rest drains while the reply is awaited
        if (transport_->state() != Transport::State::Open)
            return Fail(failure(QStringLiteral("the %1 server closed the connection while data "
                                               "was sent")
                                    .arg(protocol_)));
        const qint64 pending = transport_->bytesToWrite();
        if (pending < lastPending) idle.restart();
        lastPending = pending;
        if (idle.hasExpired(timeouts_.idleSeconds * 1000))
            return Fail(failure(QStringLiteral("the %1 server took no data for %2 s")
                                    .arg(protocol_)
                                    .arg(timeouts_.idleSeconds)));
        if (deadline.hasExpired())
            return Fail(failure(QStringLiteral("sending to the %1 server took longer than %2 s")
                                    .arg(protocol_)
                                    .arg(allowedMs / 1000)));
        transport_->Wait(kSliceMs);
    }
}

Status Connection::Receive(ReplyReader& reader, qint64 size) {
    if (!transport_) return failure(broken_);
    const qint64 allowedMs = timeouts_.TransferMs(size);
    const QDeadlineTimer deadline(allowedMs);
    QElapsedTimer idle;
    idle.start();
    qint64 lastPending = transport_->bytesToWrite();
    for (;;) {
        if (ending()) return Ended();
        switch (reader.Parse()) {
            case ReplyReader::Step::Done:
                return Done{};
            case ReplyReader::Step::Failed:
                return Fail(reader.error());
            case ReplyReader::Step::NeedMore:
                break;
        }
        if (transport_->bytesAvailable() > 0) {
            reader.Feed(transport_->Read(kChunkBytes));
            idle.restart();
            continue;
        }
        if (transport_->state() != Transport::State::Open)
            return Fail(failure(
                QStringLiteral("the %1 server closed the connection before the end of its reply")
                    .arg(protocol_)));
        // Data still draining to the server counts as the transfer moving.
        const qint64 pending = transport_->bytesToWrite();
        if (pending < lastPending) idle.restart();
        lastPending = pending;
        if (idle.hasExpired(timeouts_.idleSeconds * 1000))
            return Fail(failure(QStringLiteral("the %1 server sent nothing for %2 s")
                                    .arg(protocol_)
                                    .arg(timeouts_.idleSeconds)));
        if (deadline.hasExpired())
            return Fail(failure(QStringLiteral("the %1 server's reply took longer than %2 s")
                                    .arg(protocol_)
                                    .arg(allowedMs / 1000)));
        transport_->Wait(static_cast<int>(
            std::min<qint64>(kSliceMs, std::max<qint64>(1, deadline.remainingTime()))));
    }
}

bool Connection::Unasked(const ReplyReader& reader) const {
    return reader.buffered() > 0 || (transport_ && transport_->bytesAvailable() > 0);
}

bool Connection::Idle(const ReplyReader& reader) {
    if (!transport_) return false;
    transport_->Wait(0);  // let a close or a last reply that arrived meanwhile show
    return transport_->state() == Transport::State::Open && !Unasked(reader);
}

}  // namespace net
