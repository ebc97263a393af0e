#include "SocketTransport.h"

#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include "TrustRule.h"

namespace net {
namespace {

constexpr qint64 kReadBufferBytes = 1024 * 1024;

}  // namespace

SocketTransport::SocketTransport() {
    // A thread that Qt did not start gets its event dispatcher with its first event loop;
    // the socket's notifiers need it from the start.
    { QEventLoop dispatcherForThisThread; }
    socket_ = std::make_unique<QSslSocket>();
    socket_->setSslConfiguration(TrustedTlsConfiguration());
    socket_->setReadBufferSize(kReadBufferBytes);
}

SocketTransport::~SocketTransport() { Abort(); }

void SocketTransport::Connect(const QString& host, quint16 port, bool tls) {
    if (tls)
        socket_->connectToHostEncrypted(host, port);
    else
        socket_->connectToHost(host, port);
}

void SocketTransport::StartTls() { socket_->startClientEncryption(); }

Transport::State SocketTransport::state() const {
    switch (socket_->state()) {
        case QAbstractSocket::ConnectedState:
            return State::Open;
        case QAbstractSocket::HostLookupState:
        case QAbstractSocket::ConnectingState:
            return State::Connecting;
        default:
            return State::Closed;
    }
}

bool SocketTransport::encrypted() const { return socket_->isEncrypted(); }

bool SocketTransport::Write(const QByteArray& bytes) {
    if (socket_->write(bytes) != bytes.size()) return false;
    // Sessions batch their own commands; Nagle would hold each batch back until the
    // previous one is acknowledged.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket_->flush();
    return true;
}

qint64 SocketTransport::bytesToWrite() const { return socket_->bytesToWrite(); }

qint64 SocketTransport::bytesAvailable() const { return socket_->bytesAvailable(); }

QByteArray SocketTransport::Read(qint64 maxBytes) { return socket_->read(maxBytes); }

// A local event loop rather than waitForConnected or waitForReadyRead: a timed-out
// waitForConnected resets the socket, and one loop serves every kind of wait alike.
void SocketTransport::Wait(int ms) {
    QEventLoop loop;
    QTimer tick;
    tick.setSingleShot(true);
    QSslSocket* s = socket_.get();
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(s, &QIODevice::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(s, &QIODevice::bytesWritten, &loop, &QEventLoop::quit);
    QObject::connect(s, &QSslSocket::encryptedBytesWritten, &loop, &QEventLoop::quit);
    QObject::connect(s, &QAbstractSocket::stateChanged, &loop, &QEventLoop::quit);
    QObject::connect(s, &QSslSocket::encrypted, &loop, &QEventLoop::quit);
    QObject::connect(s, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(s, &QSslSocket::sslErrors, &loop, &QEventLoop::quit);
    tick.start(ms);
    loop.exec();
}

QString SocketTransport::errorString() const {
    const QList<QSslError> tls = socket_->sslHandshakeErrors();
    if (!tls.isEmpty()) return tls.first().errorString();
    return socket_->errorString();
}

void SocketTransport::Abort() {
    if (socket_) socket_->abort();
}

std::unique_ptr<Transport> MakeSocketTransport() { return std::make_unique<SocketTransport>(); }

}  // namespace net
