#include "QtSmtpMail.h"

#include <QCryptographicHash>
#include <QUrl>

#include "mail/net/MailLog.h"

namespace mail {
namespace {

// The Message-ID a built message carries, for the log.
QByteArray messageIdOf(const QByteArray& message) {
    const qsizetype headerEnd = message.indexOf("\r\n\r\n");
    const QByteArray header = message.left(headerEnd < 0 ? 0 : headerEnd).toLower();
    const qsizetype at = header.indexOf("\r\nmessage-id:");
    if (at < 0) return {};
    const qsizetype start = at + 13;
    const qsizetype end = message.indexOf("\r\n", start);
    return message.mid(start, end - start).trimmed();
}

struct Outcome {
    net::Status status = net::Done{};
    bool dataSent = false;
    bool unreadable = false;     // the whole mail was sent and the answer could not be read
    ledger::Failure unrecorded;  // accepted, but the journal could not record it
};

}  // namespace

QtSmtpMail::QtSmtpMail(std::shared_ptr<ledger::DeliveryLedger> ledger, net::Timeouts timeouts)
    : ledger_(std::move(ledger)), timeouts_(timeouts) {}

QtSmtpMail::~QtSmtpMail() {
    worker_.Run([this] {
        session_.reset();
        return true;
    });
}

bool QtSmtpMail::fail(const QString& why) {
    error_ = why;
    return false;
}

bool QtSmtpMail::Connect(const QString& smtpServer) {
    // Only a set-up that worked puts the POP3 object into Forwarding mode.
    ledger_->SmtpSetUp(false);
    authenticationFailed_ = false;
    QString why;
    server_ = net::ParseServerAddress(smtpServer, net::Protocol::Smtp, &why);
    if (!server_) return fail(why);
    auto open = [this] {
        session_.reset();  // no mail goes to the server of an earlier set-up
        auto session = std::make_unique<smtp::SmtpSession>(*server_, timeouts_, &ledger_->ending);
        net::Status status = session->Open();
        if (status) session_ = std::move(session);
        return status;
    };
    net::Status opened =
        server_->oauth2 ? takeToken(oauth::Tokens::Need::Usable) : net::Status(net::Done{});
    if (opened) {
        opened = worker_.Run(open);
        // A token the server refuses is refreshed once.
        if (server_->oauth2 && !opened && opened.error().kind == net::Error::Kind::Authentication) {
            qCWarning(net::lcMail)
                << "the SMTP server refused the access token:" << opened.error().message;
            opened = takeToken(oauth::Tokens::Need::AfterRefusal);
            if (opened) opened = worker_.Run(open);
        }
    }
    if (!opened) {
        authenticationFailed_ = opened.error().kind == net::Error::Kind::Authentication;
        return fail(opened.error().message);
    }
    ledger_->SmtpSetUp(true);
    error_.clear();
    return true;
}

net::Status QtSmtpMail::takeToken(oauth::Tokens::Need need) {
    if (!tokens_) tokens_ = std::make_unique<oauth::Tokens>();
    // Keyed as the sign-in stores it.
    const QUrl url(server_->url);
    auto token = tokens_->AccessToken(
        oauth::AccountKey(QStringLiteral("smtp"), server_->user, url.host(), url.port()), need);
    if (!token) return token.error();
    server_->password = token.value();
    return net::Done{};
}

bool QtSmtpMail::SetSender(const QString& mailAccount, const QString& displayName) {
    const QString address = mime::CleanAddress(mailAccount);
    if (address.isEmpty())
        return fail(QStringLiteral("\"%1\" is not a usable sender address").arg(mailAccount));
    sender_ = address;
    senderName_ = displayName;
    error_.clear();
    return true;
}

void QtSmtpMail::ClearMail() { draft_ = {}; }

bool QtSmtpMail::SetRecipient(std::int16_t kind, const QString& address, const QString&) {
    if (kind != 1) return fail(QStringLiteral("only To: recipients are supported"));
    const QString clean = mime::CleanAddress(address);
    if (clean.isEmpty())
        return fail(QStringLiteral("\"%1\" is not a usable recipient address").arg(address));
    draft_.to = clean;
    return true;
}

bool QtSmtpMail::SetSubject(const QString& subject) {
    draft_.subject = subject;
    return true;
}

bool QtSmtpMail::SetDetail(const QString& body) {
    draft_.body = body;
    return true;
}

QString QtSmtpMail::messageKey() const {
    if (const QString forward = ledger_->ForwardKey(); !forward.isEmpty()) return forward;
    // The same digest: the same mails listed, the same text.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& key : ledger_->ListedKeys()) hash.addData((key + u'\n').toUtf8());
    hash.addData((draft_.to + u'\n' + draft_.subject + u'\n' + draft_.body).toUtf8());
    return QStringLiteral("digest.") + QString::fromLatin1(hash.result().toHex().left(32));
}

bool QtSmtpMail::Mail() {
    permanent_ = false;
    if (sender_.isEmpty()) return fail(QStringLiteral("no sender is set"));
    if (draft_.to.isEmpty()) return fail(QStringLiteral("no recipient is set"));
    // A whole forward the server refused for good at an earlier check is not sent again.
    if (std::optional<QString> refusal = ledger_->ForwardRefusal()) {
        if (const ledger::Failure unrecorded = recordRefused(*refusal)) return fail(*unrecorded);
        permanent_ = true;
        return fail(*refusal);
    }
    draft_.fromAddress = sender_;
    draft_.fromName = senderName_;
    draft_.key = messageKey();
    // A whole forward carries the original's files and answers to its sender.
    const ledger::ForwardContent open = ledger_->ForwardedContent();
    draft_.original = open.message;
    draft_.replyToName = open.senderName;
    draft_.replyToAddress = open.senderAddress;
    if (unconfirmedSends_.value(draft_.key) >= kMaxUnconfirmedSends) {
        permanent_ = true;
        const QString why =
            QStringLiteral(
                "the SMTP server took this mail %1 times without confirming it; it is "
                "not sent again, and its mails stay on the server")
                .arg(kMaxUnconfirmedSends);
        if (const ledger::Failure unrecorded = recordRefused(why)) return fail(*unrecorded);
        return fail(why);
    }
    // A connection opened again later logs in with a token that is still good.
    if (server_ && server_->oauth2) {
        if (const net::Status fresh = takeToken(oauth::Tokens::Need::Usable); !fresh) {
            authenticationFailed_ = fresh.error().kind == net::Error::Kind::Authentication;
            return fail(fresh.error().message);
        }
        worker_.Run([this, secret = server_->password] {
            if (session_) session_->SetSecret(secret);
            return true;
        });
    }
    const QByteArray message = mime::BuildMessage(draft_);
    const smtp::Envelope envelope{sender_.toUtf8(), draft_.to.toUtf8()};
    // A forward is mostly followed by another mail (a forward or the digest); the digest
    // ends the check.
    const bool moreToFollow = ledger_->ForwardBegun();
    const Outcome sent = worker_.Run([&] {
        Outcome outcome;
        if (!session_) {
            outcome.status = net::Error{net::Error::Kind::Failed,
                                        QStringLiteral("not connected to an SMTP server")};
            return outcome;
        }
        outcome.status = session_->Send(envelope, message, &outcome.dataSent, moreToFollow);
        outcome.unreadable = !outcome.status && session_->LastAnswerUnreadable();
        // Recorded on this thread, at once: the shorter the gap between the server's
        // acceptance and the record, the smaller the window for a second delivery.
        if (outcome.status) outcome.unrecorded = ledger_->RecordAccepted();
        return outcome;
    });
    if (!sent.status) {
        const net::Error& error = sent.status.error();
        if (sent.unreadable) unconfirmedSends_[draft_.key] += 1;
        if (error.permanent) {
            if (const ledger::Failure unrecorded = recordRefused(error.message))
                return fail(*unrecorded);
        }
        permanent_ = error.permanent;
        return fail(error.message);
    }
    unconfirmedSends_.remove(draft_.key);
    qCInfo(net::lcMail) << "SMTP server accepted mail" << messageIdOf(message) << "to" << draft_.to
                        << "(" << draft_.body.size() << "characters)";
    // Delivered but not recorded: the check stops here, before anything more is sent or
    // deleted, and the mail may be sent again by a later one.
    if (sent.unrecorded)
        return fail(QStringLiteral("the server accepted the mail, but %1").arg(*sent.unrecorded));
    error_.clear();
    return true;
}

ledger::Failure QtSmtpMail::recordRefused(const QString& reason) {
    // The record waits for the disk: on the worker, never on the user-interface thread.
    return worker_.Run([&] { return ledger_->RecordRefused(reason); });
}

}  // namespace mail
