#include "Pop3Session.h"

#include <algorithm>
#include <cstdlib>

#include "mail/net/MailLog.h"
#include "mail/net/Sasl.h"

namespace pop3 {
namespace {

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

}  // namespace

Pop3Session::Pop3Session(net::ServerAddress server, QString user, QString password,
                         net::Timeouts timeouts, Limits limits, const std::atomic<bool>* ending,
                         net::TransportFactory transport)
    : server_(std::move(server)),
      user_(std::move(user)),
      password_(std::move(password)),
      limits_(limits),
      connection_(QStringLiteral("POP3"), timeouts, ending, std::move(transport)) {}

Pop3Session::~Pop3Session() { Abort(); }

void Pop3Session::Abort() {
    connection_.Abort();
    queued_.clear();
    inFlight_.clear();
    inFlightBytes_ = 0;
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

Status Pop3Session::send(const QByteArray& commands) { return connection_.Send(commands); }

Result<Pop3Session::Reply> Pop3Session::read(const Pop3Expect& expect, qint64 size) {
    reader_.Begin(expect);
    if (Status got = connection_.Receive(reader_, size); !got) return got.error();
    return Reply{reader_.status(), reader_.text(), reader_.TakeBody()};
}

Result<Pop3Session::Reply> Pop3Session::command(const QByteArray& line, bool multiLine) {
    if (Status sent = send(line + "\r\n"); !sent) return sent.error();
    return read(multiLine ? listing() : statusOnly(), 0);
}

Status Pop3Session::Open() {
    if (connection_.connectionsOpened() > 0)
        return Error{Error::Kind::Failed, QStringLiteral("the POP3 session was opened before")};
    if (server_.cleartext)
        qCWarning(net::lcMail).noquote()
            << net::CleartextWarning(QStringLiteral("POP3"), server_.url);
    if (Status up = connection_.Open(server_.host, server_.port, server_.implicitTls); !up)
        return up;

    auto greeting = read(statusOnly(), 0);
    if (!greeting) return greeting.error();
    if (greeting.value().status != Pop3ReplyReader::Status::Ok)
        return failed(
            serverSaid(QStringLiteral("the server refused the session"), greeting.value().text));
    if (Status capa = readCapabilities(); !capa) return capa;
    if (!server_.implicitTls && capabilities_.stls) {
        if (Status tls = startTls(); !tls) return tls;
    } else if (server_.requireTls && !server_.implicitTls) {
        return failed(
            Error{Error::Kind::Failed,
                  net::NoEncryptionOffered(server_.host, server_.port, "STLS", "pop3+cleartext")});
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
    if (Status up = connection_.StartTls(reader_); !up) return up;
    return readCapabilities();  // RFC 2595: what was said before TLS is forgotten
}

Status Pop3Session::logIn() {
    using S = Pop3ReplyReader::Status;
    auto refusedBy = [this](const QByteArray& text) {
        Error refused = serverSaid(QStringLiteral("the server refused the login"), text);
        refused.kind = Error::Kind::Authentication;
        return failed(refused);
    };
    if (server_.oauth2) {
        // The mechanism alone, the token after "+": with it the line would pass the 255
        // octets a POP3 command may have (RFC 5034), and Microsoft wants this form.
        const net::SaslMechanism mechanism = capabilities_.saslOAuthBearer
                                                 ? net::SaslMechanism::OAuthBearer
                                                 : net::SaslMechanism::XOAuth2;
        auto ready = command("AUTH " + net::SaslName(mechanism));
        if (!ready) return ready.error();
        if (ready.value().status != S::Challenge) return refusedBy(ready.value().text);
        auto reply = command(
            net::SaslResponses(mechanism, {user_, password_, server_.host, server_.port}).front());
        if (!reply) return reply.error();
        if (reply.value().status == S::Challenge) {  // the server's error, to acknowledge
            reply = command(net::SaslErrorAcknowledgement(mechanism));
            if (!reply) return reply.error();
        }
        if (reply.value().status != S::Ok) return refusedBy(reply.value().text);
        return Done{};
    }
    const net::SaslCredentials credentials{.user = user_, .secret = password_};
    // Each step: what to send and the reply it must get.
    struct StepLine {
        QByteArray line;
        Pop3ReplyReader::Status wanted;
    };
    std::vector<StepLine> steps;
    if (capabilities_.saslPlain) {
        const auto lines = net::SaslResponses(net::SaslMechanism::Plain, credentials);
        steps = {{"AUTH PLAIN " + lines[0], S::Ok}};
    } else if (capabilities_.saslLogin) {
        const auto lines = net::SaslResponses(net::SaslMechanism::Login, credentials);
        steps = {{"AUTH LOGIN", S::Challenge}, {lines[0], S::Challenge}, {lines[1], S::Ok}};
    } else {
        steps = {{"USER " + user_.toUtf8(), S::Ok}, {"PASS " + password_.toUtf8(), S::Ok}};
    }
    for (const StepLine& step : steps) {
        auto reply = command(step.line);
        if (!reply) return reply.error();
        if (reply.value().status != step.wanted) return refusedBy(reply.value().text);
    }
    return Done{};
}

Result<std::vector<Pop3Listed>> Pop3Session::List() {
    if (!connection_.open()) return Error{Error::Kind::Failed, connection_.broken()};
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
        qCWarning(net::lcMail).noquote()
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
            qCWarning(net::lcMail) << "message" << parsed->number
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
        qCWarning(net::lcMail) << "message" << entry.number
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
    if (connection_.Unasked(reader_))
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
    if (!connection_.open()) return;
    const qint64 size = listedSize >= 0 ? listedSize : limits_.maxMessageBytes;
    queued_.push_back(Request{"RETR " + QByteArray::number(number),
                              std::min(size, limits_.windowBytes), size, listedSize});
    sendWhatTheWindowAllows();
}

void Pop3Session::RequestTop(int number, int lines) {
    if (!connection_.open()) return;
    queued_.push_back(
        Request{"TOP " + QByteArray::number(number) + ' ' + QByteArray::number(std::max(0, lines)),
                kTopWindowBytes, limits_.maxMessageBytes, -1});
    sendWhatTheWindowAllows();
}

Result<QByteArray> Pop3Session::NextRetr() {
    if (!connection_.open()) return Error{Error::Kind::Failed, connection_.broken()};
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
    if (!connection_.open()) return Error{Error::Kind::Failed, connection_.broken()};
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
    Abort();
    return Done{};
}

}  // namespace pop3
