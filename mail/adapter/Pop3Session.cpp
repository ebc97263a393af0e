#include "Pop3Session.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

#include "MailLog.h"

namespace mail {
namespace {

constexpr int kSliceMs = 250;               // how often *ending is looked at
constexpr qint64 kChunkBytes = 256 * 1024;  // read from the socket at a time
constexpr qint64 kTopWindowBytes = 64 * 1024;

// Servers count a message's size their own way (line ends as stored, a header added on
// delivery), but never by this much: a message this far from its listed size belongs
// to another reply.
bool farFromListed(qint64 got, qint64 listed) { return std::abs(got - listed) > 64 + listed / 4; }

Error outOfStep(const QString& why) {
    return Error{Error::Kind::Failed,
                 QStringLiteral("the server's replies are out of step (%1)").arg(why)};
}

Error serverSaid(const QString& what, const QByteArray& text) {
    return Error{Error::Kind::Failed,
                 QStringLiteral("%1: %2").arg(what, QString::fromUtf8(text).trimmed())};
}

// The system store, plus the CAs of SSL_CERT_FILE when it names a file (as OpenSSL does).
QSslConfiguration tlsConfiguration() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QString extra = qEnvironmentVariable("SSL_CERT_FILE");
    if (!extra.isEmpty() && QFile::exists(extra))
        configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                                        QSslCertificate::fromPath(extra));
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return configuration;
}

}  // namespace

Pop3Session::Pop3Session(ServerAddress server, QString user, QString password, Timeouts timeouts,
                         Limits limits, const std::atomic<bool>* ending)
    : server_(std::move(server)),
      user_(std::move(user)),
      password_(std::move(password)),
      timeouts_(timeouts),
      limits_(limits),
      ending_(ending) {
    const QUrl url(server_.url);
    host_ = url.host();
    port_ = static_cast<quint16>(url.port(server_.implicitTls ? 995 : 110));
}

Pop3Session::~Pop3Session() { Abort(); }

void Pop3Session::Abort() {
    if (socket_) {
        socket_->abort();
        socket_.reset();
    }
    if (broken_.isEmpty()) broken_ = QStringLiteral("the POP3 session is closed");
    queued_.clear();
    inFlight_.clear();
    inFlightBytes_ = 0;
}

Error Pop3Session::failed(Error error) {
    Abort();
    broken_ = error.message;
    return error;
}

Error Pop3Session::ended() {
    return failed(Error{Error::Kind::Ending, QStringLiteral("the program is ending")});
}

Pop3Expect Pop3Session::statusOnly() const {
    return Pop3Expect{false, limits_.maxReplyLineBytes, 0, false, false};
}

Pop3Expect Pop3Session::listing() const {
    return Pop3Expect{true, limits_.maxReplyLineBytes, limits_.maxMessageBytes, false, true};
}

Pop3Expect Pop3Session::message(bool keep) const {
    return Pop3Expect{true, limits_.maxReplyLineBytes, limits_.maxMessageBytes, true, keep};
}

// Connect and TLS set-up run the socket in a local event loop: a timed-out
// waitForConnected would reset the socket, so it cannot be waited for in slices.
Status Pop3Session::waitForSocket(bool encrypted, const QDeadlineTimer& deadline) {
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QAbstractSocket::stateChanged, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QSslSocket::encrypted, &loop, &QEventLoop::quit);
    QObject::connect(socket_.get(), &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    tick.start(kSliceMs);
    for (;;) {
        if (socket_->state() == QAbstractSocket::ConnectedState &&
            (!encrypted || socket_->isEncrypted()))
            return Done{};
        if (socket_->state() == QAbstractSocket::UnconnectedState)
            return failed(
                Error{Error::Kind::Failed,
                      QStringLiteral("no %1 connection to %2:%3: %4")
                          .arg(encrypted ? QStringLiteral("TLS") : QStringLiteral("POP3"), host_)
                          .arg(port_)
                          .arg(socket_->errorString())});
        if (ending_ && *ending_) return ended();
        if (deadline.hasExpired())
            return failed(
                Error{Error::Kind::Failed, QStringLiteral("no connection to %1:%2 within %3 s")
                                               .arg(host_)
                                               .arg(port_)
                                               .arg(timeouts_.connectSeconds)});
        loop.exec();
    }
}

Status Pop3Session::send(const QByteArray& commands) {
    if (!socket_) return Error{Error::Kind::Failed, broken_};
    // flush() hands the bytes to the kernel (encrypting them first); what it does not
    // take is written while the replies are awaited.
    if (socket_->write(commands) != commands.size() || !socket_->flush()) {
        if (socket_->bytesToWrite() == 0)
            return failed(
                Error{Error::Kind::Failed,
                      QStringLiteral("cannot send to the server: %1").arg(socket_->errorString())});
    }
    return Done{};
}

Result<Pop3Session::Reply> Pop3Session::read(const Pop3Expect& expect, qint64 size) {
    if (!socket_) return Error{Error::Kind::Failed, broken_};
    reader_.Begin(expect);
    const qint64 allowedMs =
        (2 * timeouts_.idleSeconds + size / std::max<long>(1, timeouts_.minBytesPerSecond)) * 1000;
    const QDeadlineTimer deadline(allowedMs);
    QElapsedTimer idle;
    idle.start();
    for (;;) {
        if (ending_ && *ending_) return ended();
        switch (reader_.Parse()) {
            case Pop3ReplyReader::Step::Done:
                return Reply{reader_.status(), reader_.text(), reader_.TakeBody()};
            case Pop3ReplyReader::Step::Failed:
                return failed(reader_.error());
            case Pop3ReplyReader::Step::NeedMore:
                break;
        }
        if (socket_->bytesAvailable() > 0) {
            reader_.Feed(socket_->read(kChunkBytes));
            idle.restart();
            continue;
        }
        if (socket_->state() != QAbstractSocket::ConnectedState)
            return failed(Error{Error::Kind::Failed,
                                QStringLiteral("the server closed the connection before the end "
                                               "of its reply")});
        if (idle.hasExpired(timeouts_.idleSeconds * 1000))
            return failed(Error{
                Error::Kind::Failed,
                QStringLiteral("the server sent nothing for %1 s").arg(timeouts_.idleSeconds)});
        if (deadline.hasExpired())
            return failed(Error{
                Error::Kind::Failed,
                QStringLiteral("the server's reply took longer than %1 s").arg(allowedMs / 1000)});
        socket_->waitForReadyRead(static_cast<int>(
            std::min<qint64>(kSliceMs, std::max<qint64>(1, deadline.remainingTime()))));
    }
}

Result<Pop3Session::Reply> Pop3Session::command(const QByteArray& line, bool multiLine) {
    if (Status sent = send(line + "\r\n"); !sent) return sent.error();
    return read(multiLine ? listing() : statusOnly(), 0);
}

Status Pop3Session::Open() {
    if (socket_ || connectionsOpened_ > 0)
        return Error{Error::Kind::Failed, QStringLiteral("the POP3 session was opened before")};
    broken_.clear();
    // A thread that Qt did not start gets its event dispatcher with its first event loop;
    // the socket's notifiers need it from the start.
    { QEventLoop dispatcherForThisThread; }
    socket_ = std::make_unique<QSslSocket>();
    socket_->setSslConfiguration(tlsConfiguration());
    socket_->setReadBufferSize(4 * kChunkBytes);
    ++connectionsOpened_;
    const QDeadlineTimer deadline(timeouts_.connectSeconds * 1000);
    if (server_.cleartext)
        qCWarning(lcMail).noquote() << CleartextWarning(QStringLiteral("POP3"), server_.url);
    if (server_.implicitTls)
        socket_->connectToHostEncrypted(host_, port_);
    else
        socket_->connectToHost(host_, port_);
    if (Status up = waitForSocket(server_.implicitTls, deadline); !up) return up;
    // Commands are batched by the session itself; Nagle would hold each refill of the
    // window back until the previous one is acknowledged.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    auto greeting = read(statusOnly(), 0);
    if (!greeting) return greeting.error();
    if (greeting.value().status != Pop3ReplyReader::Status::Ok)
        return failed(
            serverSaid(QStringLiteral("the server refused the session"), greeting.value().text));
    if (Status capa = readCapabilities(); !capa) return capa;
    if (!server_.implicitTls && capabilities_.stls) {
        if (Status tls = startTls(); !tls) return tls;
    } else if (server_.requireTls && !server_.implicitTls) {
        return failed(Error{Error::Kind::Failed,
                            NoEncryptionOffered(host_, port_, "STLS", "pop3+cleartext")});
    }
    return logIn();
}

Status Pop3Session::readCapabilities() {
    auto capa = command("CAPA", true);
    if (!capa) return capa.error();
    // A server without CAPA announces nothing: plain, one command at a time, USER/PASS.
    capabilities_ = capa.value().status == Pop3ReplyReader::Status::Ok
                        ? ParseCapabilities(capa.value().body)
                        : Pop3Capabilities{};
    return Done{};
}

// Once STLS is offered, TLS is required: every failure from here on ends the session.
Status Pop3Session::startTls() {
    auto reply = command("STLS");
    if (!reply) return reply.error();
    if (reply.value().status != Pop3ReplyReader::Status::Ok)
        return failed(serverSaid(QStringLiteral("the server refused STLS"), reply.value().text));
    if (reader_.buffered() > 0 || socket_->bytesAvailable() > 0)
        return failed(Error{Error::Kind::Failed,
                            QStringLiteral("the server sent data before the TLS handshake")});
    socket_->startClientEncryption();
    if (Status up = waitForSocket(true, QDeadlineTimer(timeouts_.connectSeconds * 1000)); !up)
        return up;
    return readCapabilities();  // RFC 2595: what was said before TLS is forgotten
}

Status Pop3Session::logIn() {
    const QByteArray user = user_.toUtf8(), password = password_.toUtf8();
    // Each step: what to send and the reply it must get.
    struct StepLine {
        QByteArray line;
        Pop3ReplyReader::Status wanted;
    };
    std::vector<StepLine> steps;
    using S = Pop3ReplyReader::Status;
    if (capabilities_.saslPlain) {
        steps = {
            {"AUTH PLAIN " + (QByteArray(1, '\0') + user + '\0' + password).toBase64(), S::Ok}};
    } else if (capabilities_.saslLogin) {
        steps = {{"AUTH LOGIN", S::Challenge},
                 {user.toBase64(), S::Challenge},
                 {password.toBase64(), S::Ok}};
    } else {
        steps = {{"USER " + user, S::Ok}, {"PASS " + password, S::Ok}};
    }
    for (const StepLine& step : steps) {
        auto reply = command(step.line);
        if (!reply) return reply.error();
        if (reply.value().status != step.wanted) {
            Error refused =
                serverSaid(QStringLiteral("the server refused the login"), reply.value().text);
            refused.kind = Error::Kind::Authentication;
            return failed(refused);
        }
    }
    return Done{};
}

Result<std::vector<Pop3Listed>> Pop3Session::List() {
    if (!socket_) return Error{Error::Kind::Failed, broken_};
    if (!queued_.empty() || !inFlight_.empty())
        return Error{Error::Kind::Failed, QStringLiteral("a retrieval is still in flight")};
    const bool together = capabilities_.pipelining;
    if (Status sent = send(together ? "UIDL\r\nLIST\r\n" : "UIDL\r\n"); !sent) return sent.error();
    auto uidl = read(listing(), limits_.maxMessageBytes);
    if (!uidl) return uidl.error();
    if (!together) {
        if (Status sent = send("LIST\r\n"); !sent) return sent.error();
    }
    auto list = read(listing(), limits_.maxMessageBytes);
    if (!list) return list.error();
    if (uidl.value().status != Pop3ReplyReader::Status::Ok)
        return serverSaid(QStringLiteral("the server refused UIDL"), uidl.value().text);
    if (list.value().status != Pop3ReplyReader::Status::Ok)
        return serverSaid(QStringLiteral("the server refused LIST"), list.value().text);

    // One odd entry holds back no other: a message without a usable UID is listed with
    // none (it is then known by its content, like a UID given twice); a line that names
    // no message is passed over.
    std::vector<Pop3Listed> listed;
    QHash<int, qsizetype> index;
    const auto passOver = [](const char* what, QByteArrayView line, const char* how) {
        qCWarning(lcMail).noquote()
            << "POP3" << what << "line" << how << ":"
            << QString::fromUtf8(line.first(std::min<qsizetype>(line.size(), 80))).trimmed();
    };
    for (const QByteArray& line : uidl.value().body.split('\n')) {
        if (line.isEmpty()) continue;  // after the last line end
        const auto parsed = ParseUidlLine(line);
        if (!parsed) {
            passOver("UIDL", line, "passed over");
        } else if (const auto at = index.find(parsed->number); at != index.end()) {
            listed[*at].uid.clear();  // two UIDs for one message: neither tells it apart
        } else {
            if (parsed->uid.isEmpty())
                passOver("UIDL", line, "without a usable UID (known by content)");
            index.insert(parsed->number, static_cast<qsizetype>(listed.size()));
            listed.push_back(Pop3Listed{parsed->number, parsed->uid, -1});
        }
    }
    for (const QByteArray& line : list.value().body.split('\n')) {
        if (line.isEmpty()) continue;
        const auto parsed = ParseListLine(line);
        if (!parsed) {
            passOver("LIST", line, "passed over");
            continue;
        }
        auto at = index.find(parsed->number);
        if (at == index.end()) {
            qCWarning(lcMail) << "message" << parsed->number
                              << "is in LIST but not in UIDL; it is known by its content";
            at = index.insert(parsed->number, static_cast<qsizetype>(listed.size()));
            listed.push_back(Pop3Listed{parsed->number, QByteArray(), -1});
        }
        if (listed[*at].size < 0) listed[*at].size = parsed->size;
    }
    // Without a size the message cannot be retrieved within bounds: it waits on the
    // server, named in the log at every check.
    std::erase_if(listed, [](const Pop3Listed& entry) {
        if (entry.size >= 0) return false;
        qCWarning(lcMail) << "message" << entry.number
                          << "is in UIDL but not in LIST; it stays on the server";
        return true;
    });
    std::sort(listed.begin(), listed.end(),
              [](const Pop3Listed& a, const Pop3Listed& b) { return a.number < b.number; });
    return listed;
}

// With no request in flight, no byte may be waiting: it would be read as the answer to
// the next command.
Status Pop3Session::nothingUnasked() {
    if (!inFlight_.empty()) return Done{};
    if (reader_.buffered() > 0 || socket_->bytesAvailable() > 0)
        return failed(outOfStep(QStringLiteral("data arrived that no command asked for")));
    return Done{};
}

void Pop3Session::sendWhatTheWindowAllows() {
    QByteArray batch;
    while (!queued_.empty()) {
        const Request& next = queued_.front();
        const bool fits =
            inFlight_.empty() || (capabilities_.pipelining &&
                                  static_cast<int>(inFlight_.size()) < limits_.windowMessages &&
                                  inFlightBytes_ + next.windowBytes <= limits_.windowBytes);
        if (!fits) break;
        batch += next.command + "\r\n";
        inFlightBytes_ += next.windowBytes;
        inFlight_.push_back(next);
        queued_.pop_front();
    }
    if (!batch.isEmpty()) (void)send(batch);  // a failure shows at the next read
}

void Pop3Session::RequestRetr(int number, qint64 listedSize) {
    if (!socket_) return;
    const qint64 size = listedSize >= 0 ? listedSize : limits_.maxMessageBytes;
    queued_.push_back(Request{"RETR " + QByteArray::number(number),
                              std::min(size, limits_.windowBytes), size, listedSize});
    sendWhatTheWindowAllows();
}

void Pop3Session::RequestTop(int number, int lines) {
    if (!socket_) return;
    queued_.push_back(
        Request{"TOP " + QByteArray::number(number) + ' ' + QByteArray::number(std::max(0, lines)),
                kTopWindowBytes, limits_.maxMessageBytes, -1});
    sendWhatTheWindowAllows();
}

Result<QByteArray> Pop3Session::NextRetr() {
    if (!socket_) return Error{Error::Kind::Failed, broken_};
    if (inFlight_.empty()) sendWhatTheWindowAllows();
    if (inFlight_.empty())
        return Error{Error::Kind::Failed, QStringLiteral("no retrieval was requested")};
    const Request request = inFlight_.front();
    auto reply = read(message(true), request.deadlineBytes);
    if (!reply) return reply.error();
    inFlight_.pop_front();
    inFlightBytes_ -= request.windowBytes;
    if (Status inStep = nothingUnasked(); !inStep) return inStep.error();
    sendWhatTheWindowAllows();  // the next ones travel while the caller reads this one
    if (reply.value().status != Pop3ReplyReader::Status::Ok) {
        Error refused = serverSaid(
            QStringLiteral("the server refused %1").arg(QString::fromLatin1(request.command)),
            reply.value().text);
        refused.kind = Error::Kind::Refused;
        return refused;
    }
    const qint64 got = reply.value().body.size();
    if (request.listedSize >= 0 && farFromListed(got, request.listedSize))
        return failed(outOfStep(QStringLiteral("%1 brought %2 bytes, listed as %3")
                                    .arg(QString::fromLatin1(request.command))
                                    .arg(got)
                                    .arg(request.listedSize)));
    return std::move(reply.value().body);
}

Result<QByteArray> Pop3Session::Top(int number, int lines) {
    if (!queued_.empty() || !inFlight_.empty())
        return Error{Error::Kind::Failed, QStringLiteral("a retrieval is still in flight")};
    RequestTop(number, lines);
    return NextRetr();
}

Status Pop3Session::DeleteAndQuit(const std::vector<int>& numbers) {
    if (!socket_) return Error{Error::Kind::Failed, broken_};
    queued_.clear();
    while (!inFlight_.empty()) {
        const Request request = inFlight_.front();
        auto reply = read(message(false), request.deadlineBytes);
        if (!reply) return reply.error();
        inFlight_.pop_front();
    }
    inFlightBytes_ = 0;
    if (Status inStep = nothingUnasked(); !inStep) return inStep;

    QByteArray batch;
    QString refused;
    for (size_t i = 0; i < numbers.size(); ++i) {
        batch += "DELE " + QByteArray::number(numbers[i]) + "\r\n";
        const bool last = i + 1 == numbers.size();
        if (!capabilities_.pipelining || last) {
            if (Status sent = send(batch); !sent) return sent;
            const size_t first = i + 1 - static_cast<size_t>(batch.count('\n'));
            batch.clear();
            for (size_t k = first; k <= i; ++k) {
                auto reply = read(statusOnly(), 0);
                if (!reply) return reply.error();
                if (reply.value().status != Pop3ReplyReader::Status::Ok && refused.isEmpty())
                    refused = QStringLiteral("the server refused DELE %1: %2")
                                  .arg(numbers[k])
                                  .arg(QString::fromUtf8(reply.value().text).trimmed());
            }
        }
    }
    if (!refused.isEmpty()) return failed(Error{Error::Kind::Failed, refused});

    auto quit = command("QUIT");
    if (!quit) return quit.error();
    if (quit.value().status != Pop3ReplyReader::Status::Ok)
        return failed(serverSaid(QStringLiteral("the server did not commit the deletions"),
                                 quit.value().text));
    socket_->disconnectFromHost();
    Abort();
    return Done{};
}

}  // namespace mail
