#include "CurlSmtpMail.h"

#include "BlockingCall.h"
#include "MailLog.h"

namespace mail {

CurlSmtpMail::CurlSmtpMail(std::shared_ptr<ComponentContext> context, Timeouts timeouts)
    : context_(std::move(context)), timeouts_(timeouts) {}

CurlSmtpMail::~CurlSmtpMail() = default;

bool CurlSmtpMail::fail(const QString& why) {
    error_ = why;
    return false;
}

bool CurlSmtpMail::Connect(const QString& smtpServer) {
    context_->smtpConnectedSincePop3Connect = true;
    QString why;
    auto server = ParseServerAddress(smtpServer, Protocol::Smtp, &why);
    if (!server) {
        session_.reset();
        return fail(why);
    }
    auto session = std::make_unique<CurlSession>(*server, server->user, server->password, timeouts_,
                                                 &context_->ending);
    const bool ok = RunBlocking([&] {
        const bool answered = session->Perform({QString(), "NOOP", true, nullptr, nullptr});
        answered ? session->Close() : session->Abort();
        return answered;
    });
    if (!ok) {
        session_.reset();  // no mail goes to the server of an earlier set-up
        return fail(session->error());
    }
    session_ = std::move(session);
    error_.clear();
    return true;
}

bool CurlSmtpMail::SetSender(const QString& mailAccount, const QString& displayName) {
    const QString address = CleanAddress(mailAccount);
    if (address.isEmpty())
        return fail(QStringLiteral("\"%1\" is not a usable sender address").arg(mailAccount));
    sender_ = address;
    senderName_ = displayName;
    error_.clear();
    return true;
}

void CurlSmtpMail::ClearMail() { draft_ = {}; }

bool CurlSmtpMail::SetRecipient(std::int16_t kind, const QString& address, const QString&) {
    if (kind != 1) return fail(QStringLiteral("only To: recipients are supported"));
    const QString clean = CleanAddress(address);
    if (clean.isEmpty())
        return fail(QStringLiteral("\"%1\" is not a usable recipient address").arg(address));
    draft_.to = clean;
    return true;
}

bool CurlSmtpMail::SetSubject(const QString& subject) {
    draft_.subject = subject;
    return true;
}

bool CurlSmtpMail::SetDetail(const QString& body) {
    draft_.body = body;
    return true;
}

bool CurlSmtpMail::Mail() {
    if (!session_) return fail(QStringLiteral("not connected to an SMTP server"));
    if (sender_.isEmpty()) return fail(QStringLiteral("no sender is set"));
    if (draft_.to.isEmpty()) return fail(QStringLiteral("no recipient is set"));
    draft_.fromAddress = sender_;
    draft_.fromName = senderName_;
    draft_.key = context_->openedMailKey ? context_->openedMailKey() : QString();
    const bool ok = RunBlocking([this] {
        const QByteArray message = BuildMessage(draft_);
        CURL* curl = session_->handle();
        if (!curl) return false;
        const QByteArray from = '<' + sender_.toUtf8() + '>';
        CurlList recipients = AppendToList(nullptr, ('<' + draft_.to.toUtf8() + '>').constData());
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
        const bool sent = session_->Perform({QString(), nullptr, false, nullptr, &message});
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
        if (sent) {
            if (context_->onMailAccepted) context_->onMailAccepted();
        } else {
            // A connection that failed mid-mail is not used again; a stalled server would
            // otherwise hold the next mail too.
            session_->Abort();
        }
        return sent;
    });
    if (!ok) return fail(session_->error());
    qCInfo(lcMail) << "SMTP server accepted a mail to" << draft_.to << "key" << draft_.key;
    error_.clear();
    return true;
}

}  // namespace mail
