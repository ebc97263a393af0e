#pragma once
// The transport on a QSslSocket. Certificates: the system store plus the CAs of
// SSL_CERT_FILE when it names a file (as OpenSSL adds them), the host name checked.
// Used from one thread: the socket lives on the thread that made the transport.

#include <memory>

#include "Transport.h"

class QSslSocket;

namespace net {

class SocketTransport : public Transport {
public:
    SocketTransport();
    ~SocketTransport() override;

    void Connect(const QString& host, quint16 port, bool tls) override;
    void StartTls() override;
    State state() const override;
    bool encrypted() const override;
    bool Write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override;
    qint64 bytesAvailable() const override;
    QByteArray Read(qint64 maxBytes) override;
    void Wait(int ms) override;
    QString errorString() const override;
    void Abort() override;

private:
    std::unique_ptr<QSslSocket> socket_;
};

std::unique_ptr<Transport> MakeSocketTransport();

}  // namespace net
