#pragma once
// What a mail session needs of its connection: bytes out, bytes in, TLS on demand. The
// real one is a QSslSocket (SocketTransport.h); dialogue tests script one and record
// every byte the session sends.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace net {

class Transport {
public:
    enum class State { Closed, Connecting, Open };

    virtual ~Transport() = default;
    // Starts connecting; with tls, the handshake follows at once (implicit TLS).
    virtual void Connect(const QString& host, quint16 port, bool tls) = 0;
    // Starts the handshake on the open connection (after STLS or STARTTLS was agreed).
    virtual void StartTls() = 0;
    virtual State state() const = 0;
    virtual bool encrypted() const = 0;
    // Queues bytes for sending; false when the connection cannot take them.
    virtual bool Write(const QByteArray& bytes) = 0;
    // Bytes queued and not yet handed to the network.
    virtual qint64 bytesToWrite() const = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray Read(qint64 maxBytes) = 0;
    // Returns once something may have happened (bytes in or out, a state change, the
    // handshake done, an error) or after at most ms.
    virtual void Wait(int ms) = 0;
    virtual QString errorString() const = 0;
    // Drops the connection at once, sending nothing more.
    virtual void Abort() = 0;
};

// Makes the transport of each new connection; the socket when empty.
using TransportFactory = std::function<std::unique_ptr<Transport>()>;

}  // namespace net
