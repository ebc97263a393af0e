#include "SmtpSession.h"

#include <QRegularExpression>
#include <QSysInfo>

#include "SmtpData.h"
#include "mail/net/MailLog.h"
#include "mail/net/Sasl.h"
#include "mail/net/ServerText.h"

namespace smtp {
namespace {

using net::Done;
using net::Error;
using net::Status;

Error refusedBy(const char* what, const SmtpReply& reply) {
    return Error{Error::Kind::Refused,
                 QStringLiteral("the SMTP server refused %1: %2 %3")
                     .arg(QLatin1String(what))
                     .arg(reply.code)
                     .arg(net::ShortServerText(reply.text())),
                 reply.code, reply.permanent()};
}

// The name this client gives in EHLO: the machine's name where it is a usable domain.
QByteArray helloName() {
    const QString name = QSysInfo::machineHostName();
    static const QRegularExpression domain(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    return domain.match(name).hasMatch() ? name.toLatin1() : QByteArrayLiteral("localhost");
}

}  // namespace

SmtpCapabilities ParseEhlo(const SmtpReply& ehlo) {
    SmtpCapabilities found;
    found.esmtp = true;
    for (qsizetype i = 1; i < ehlo.lines.size(); ++i) {  // the first line greets
        const QList<QByteArray> words = ehlo.lines[i].trimmed().toUpper().split(' ');
        const QByteArray& keyword = words.first();
        if (keyword == "PIPELINING") found.pipelining = true;
        if (keyword == "STARTTLS") found.startTls = true;
        if (keyword == "CHUNKING") found.chunking = true;
        if (keyword == "SIZE") found.size = true;
        if (keyword == "AUTH") {
            for (const QByteArray& mechanism : words) {
                if (mechanism == "PLAIN") found.authPlain = true;
                if (mechanism == "LOGIN") found.authLogin = true;
                if (mechanism == "XOAUTH2") found.authXoauth2 = true;
                if (mechanism == "OAUTHBEARER") found.authOauthBearer = true;
            }
        }
    }
    return found;
}

SmtpSession::SmtpSession(net::ServerAddress server, net::Timeouts timeouts,
                         const std::atomic<bool>* ending, net::TransportFactory transport)
    : server_(std::move(server)),
      connection_(QStringLiteral("SMTP"), timeouts, ending, std::move(transport)) {}

SmtpSession::~SmtpSession() { Quit(); }

net::Result<SmtpReply> SmtpSession::read(qint64 size) {
    reader_.Begin();
    if (Status got = connection_.Receive(reader_, size); !got) return got.error();
    return reader_.Take();
}

net::Result<SmtpReply> SmtpSession::command(const QByteArray& line) {
    if (Status sent = connection_.Send(line + "\r\n"); !sent) return sent.error();
    return read();
}

Status SmtpSession::Open() {
    reader_ = {};
    ahead_.reset();
    capabilities_ = {};
    if (server_.cleartext)
        qCWarning(net::lcMail).noquote()
            << net::CleartextWarning(QStringLiteral("SMTP"), server_.url);
    if (Status up = connection_.Open(server_.host, server_.port, server_.implicitTls); !up)
        return up;
    auto greeting = read();
    if (!greeting) return greeting.error();
    if (greeting.value().code != 220)
        return connection_.Fail(refusedBy("the session", greeting.value()));
    if (Status hello = greetAndHello(); !hello) return hello;
    if (!server_.implicitTls && capabilities_.startTls) {
        // Once offered, TLS is required: a refusal or a failed handshake ends the session.
        auto reply = command("STARTTLS");
        if (!reply) return reply.error();
        if (reply.value().code != 220)
            return connection_.Fail(
                Error{Error::Kind::Failed,
                      QStringLiteral("%1 (it answered STARTTLS with %2 %3)")
                          .arg(net::NoEncryptionOffered(server_.host, server_.port, "STARTTLS",
                                                        "smtp+cleartext"))
                          .arg(reply.value().code)
                          .arg(net::ShortServerText(reply.value().text()))});
        if (Status tls = connection_.StartTls(reader_); !tls) return tls;
        if (Status hello = greetAndHello(); !hello) return hello;  // RFC 3207: forget the first
    } else if (!server_.implicitTls && server_.requireTls) {
        return connection_.Fail(Error{
            Error::Kind::Failed,
            net::NoEncryptionOffered(server_.host, server_.port, "STARTTLS", "smtp+cleartext")});
    }
    return server_.user.isEmpty() ? Status(Done{}) : logIn();
}

Status SmtpSession::greetAndHello() {
    auto ehlo = command("EHLO " + helloName());
    if (!ehlo) return ehlo.error();
    if (ehlo.value().code == 250) {
        capabilities_ = ParseEhlo(ehlo.value());
        return Done{};
    }
    // A server from before ESMTP: HELO, and none of the extensions.
    auto helo = command("HELO " + helloName());
    if (!helo) return helo.error();
    if (helo.value().code != 250) return connection_.Fail(refusedBy("HELO", helo.value()));
    capabilities_ = {};
    return Done{};
}

Status SmtpSession::logIn() {
    const net::SaslCredentials credentials{server_.user, server_.password, server_.host,
                                           server_.port};
    struct Step {
        QByteArray line;
        int wanted;
    };
    std::vector<Step> steps;
    std::optional<net::SaslMechanism> token;
    if (server_.oauth2) {
        // The mechanism alone, the token after the 334: the same dialogue as POP3's, and
        // no command line of several kilobytes.
        token = capabilities_.authOauthBearer ? net::SaslMechanism::OAuthBearer
                                              : net::SaslMechanism::XOAuth2;
        steps = {{"AUTH " + net::SaslName(*token), 334},
                 {net::SaslResponses(*token, credentials)[0], 235}};
    } else if (capabilities_.authPlain) {
        steps = {
            {"AUTH PLAIN " + net::SaslResponses(net::SaslMechanism::Plain, credentials)[0], 235}};
    } else if (capabilities_.authLogin) {
        const auto lines = net::SaslResponses(net::SaslMechanism::Login, credentials);
        steps = {{"AUTH LOGIN", 334}, {lines[0], 334}, {lines[1], 235}};
    } else {
        return connection_.Fail(Error{
            Error::Kind::Failed,
            QStringLiteral("the SMTP server offers no log-in (AUTH PLAIN or LOGIN) for the user "
                           "in the setting")});
    }
    for (const Step& step : steps) {
        auto reply = command(step.line);
        if (!reply) return reply.error();
        // A refused token comes back as one more 334 carrying the server's error; it is
        // acknowledged, and the failure reply follows.
        if (token && step.wanted == 235 && reply.value().code == 334)
            reply = command(net::SaslErrorAcknowledgement(*token));
        if (!reply) return reply.error();
        if (reply.value().code != step.wanted) {
            Error refused = refusedBy("the log-in", reply.value());
            if (reply.value().permanent()) refused.kind = Error::Kind::Authentication;
            return connection_.Fail(refused);
        }
    }
    return Done{};
}

Status SmtpSession::afterRefusal(const SmtpReply& refusal, const char* stage,
                                 bool transactionOpen) {
    const Error refused = refusedBy(stage, refusal);
    if (refusal.code == 421) return connection_.Fail(refused);  // the server is closing
    if (transactionOpen) {
        auto reset = command("RSET");
        if (!reset || reset.value().code != 250) connection_.Abort();
    }
    return refused;
}

Status SmtpSession::transaction(const Envelope& envelope, const QByteArray& message, bool* dataSent,
                                bool moreToFollow) {
    const QByteArray body = capabilities_.chunking ? WithCrLf(message) : DotStuffed(message);
    const QByteArray bareMailFrom = "MAIL FROM:<" + envelope.from + '>';
    QByteArray mailFrom = bareMailFrom;
    if (capabilities_.size) mailFrom += " SIZE=" + QByteArray::number(message.size());
    const QByteArray rcptTo = "RCPT TO:<" + envelope.to + '>';
    const QByteArray dataCommand = capabilities_.chunking
                                       ? "BDAT " + QByteArray::number(body.size()) + " LAST"
                                       : QByteArrayLiteral("DATA");
    const bool group = Pipelining();
    const qint64 deadlineBytes = body.size();

    // Each stage's reply, in order; with a group they are read after it was sent whole.
    SmtpReply replies[3];
    auto readReply = [&](int stage, qint64 size) -> Status {
        auto reply = read(size);
        if (!reply) {
            // A pipelining server that answered the first command and then fell silent:
            // from now on one command at a time.
            if (group && stage > 0 && reply.error().kind == Error::Kind::Failed) stalled_ = true;
            return reply.error();
        }
        replies[stage] = reply.value();
        return Done{};
    };

    if (group) {
        // A group sent ahead with the last mail's end already travels; its replies wait.
        const bool sentAhead = ahead_.has_value();
        ahead_.reset();
        if (!sentAhead) {
            const QByteArray commands = mailFrom + "\r\n" + rcptTo + "\r\n" + dataCommand + "\r\n";
            if (Status sent = connection_.Send(commands); !sent) return sent;
        }
        if (capabilities_.chunking) {
            if (Status sent = connection_.Send(body); !sent) return sent;
            *dataSent = true;
        }
        for (int stage = 0; stage < 3; ++stage)
            if (Status got = readReply(stage, stage == 2 ? deadlineBytes : 0); !got) return got;
    } else {
        const QByteArray lines[3] = {mailFrom, rcptTo, dataCommand};
        for (int stage = 0; stage < 3; ++stage) {
            if (Status sent = connection_.Send(lines[stage] + "\r\n"); !sent) return sent;
            if (stage == 2 && capabilities_.chunking) {
                if (Status sent = connection_.Send(body); !sent) return sent;
                *dataSent = true;
            }
            if (Status got = readReply(stage, stage == 2 ? deadlineBytes : 0); !got) return got;
            if (!replies[stage].positive()) break;
        }
    }
    if (!replies[0].positive()) return afterRefusal(replies[0], "MAIL FROM", false);
    if (!replies[1].positive()) {
        // A server that took DATA although no recipient was accepted gets an empty message.
        if (replies[2].code == 354) (void)command(".");
        return afterRefusal(replies[1], "RCPT TO", true);
    }
    if (capabilities_.chunking) {
        if (replies[2].code != 250) return afterRefusal(replies[2], "the message", true);
        return Done{};
    }
    if (replies[2].code != 354) return afterRefusal(replies[2], "DATA", true);
    QByteArray end = body;
    if (group && moreToFollow) {
        end += bareMailFrom + "\r\n" + rcptTo + "\r\nDATA\r\n";
        ahead_ = envelope;
    }
    if (Status sent = connection_.Send(end); !sent) return sent;
    *dataSent = true;
    auto final = read(deadlineBytes);
    if (!final) {
        unreadable_ = !reader_.error().message.isEmpty();
        return final.error();
    }
    if (final.value().code != 250) return afterRefusal(final.value(), "the message", false);
    return Done{};
}

Status SmtpSession::Send(const Envelope& envelope, const QByteArray& message, bool* dataSent,
                         bool moreToFollow) {
    *dataSent = false;
    unreadable_ = false;
    // A kept connection the server closed while idle is opened again; so is one that
    // answered the first command with 421, since nothing of this mail was taken then.
    for (int attempt = 0;; ++attempt) {
        // A group sent ahead for another envelope cannot be taken back: its DATA is open.
        if (ahead_ && (ahead_->from != envelope.from || ahead_->to != envelope.to))
            connection_.Abort();
        const bool usable = ahead_ ? connection_.Alive() : connection_.Idle(reader_);
        if (!usable) {
            ahead_.reset();
            if (Status opened = Open(); !opened) return opened;
        }
        Status done = transaction(envelope, message, dataSent, moreToFollow);
        if (done || *dataSent || attempt > 0) return done;
        // Nothing of this mail reached the server, so sending it again cannot deliver it
        // twice: a connection that dropped (an idle close, a 421, a stalled group) is
        // opened once more.
        if (connection_.open() || done.error().kind == Error::Kind::Ending) return done;
        qCInfo(net::lcMail).noquote()
            << "SMTP: sending again on a new connection:" << done.error().message;
        connection_.Abort();
    }
}

void SmtpSession::Quit() {
    if (!connection_.open()) return;
    // In an open DATA a QUIT would be message text: the close alone discards it.
    if (ahead_) {
        connection_.Abort();
        ahead_.reset();
        return;
    }
    // No wait for the answer: nothing is pending once the last mail was confirmed.
    (void)connection_.Send("QUIT\r\n");
    connection_.Abort();
}

}  // namespace smtp
