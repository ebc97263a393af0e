#include "CurlSmtpMail.h"

#include "MailLog.h"

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

}  // namespace

CurlSmtpMail::CurlSmtpMail(std::shared_ptr<DeliveryLedger> ledger, Timeouts timeouts)
    : ledger_(std::move(ledger)), timeouts_(timeouts) {}

CurlSmtpMail::~CurlSmtpMail() {
    worker_.Run([this] {
        session_.reset();
        return true;
    });
}

bool CurlSmtpMail::fail(const QString& why) {
    error_ = why;
    return false;
}

bool CurlSmtpMail::Connect(const QString& smtpServer) {
    // Only a set-up that worked puts the POP3 object into Forwarding mode.
    ledger_->SetSmtpReady(false);
    authenticationFailed_ = false;
    QString why;
    auto server = ParseServerAddress(smtpServer, Protocol::Smtp, &why);
    const QString error = worker_.Run([&]() -> QString {
        session_.reset();  // no mail goes to the server of an earlier set-up
        if (!server) return why;
        if (server->cleartext)
            qCWarning(lcMail).noquote() << CleartextWarning(QStringLiteral("SMTP"), server->url);
        auto session = std::make_unique<CurlSession>(*server, server->user, server->password,
                                                     timeouts_, &ledger_->ending);
        if (!session->Perform({QString(), "NOOP", true, nullptr, nullptr})) {
            authenticationFailed_ = session->code() == CURLE_LOGIN_DENIED;
            session->Abort();
            return session->error();
        }
        session_ = std::move(session);
        return {};
    });
    if (!error.isEmpty()) return fail(error);
    ledger_->SetSmtpReady(true);
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

CurlSmtpMail::Sent CurlSmtpMail::send(const QByteArray& message) {
    if (!session_) return {false, false, QStringLiteral("not connected to an SMTP server"), {}};
    CURL* curl = session_->handle();
    if (!curl) return {false, false, QStringLiteral("libcurl could not be initialised"), {}};
    const QByteArray from = '<' + sender_.toUtf8() + '>';
    CurlList recipients = AppendToList(nullptr, ('<' + draft_.to.toUtf8() + '>').constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    const bool sent = session_->Perform({QString(), nullptr, false, nullptr, &message});
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    if (sent) {
        ledger_->RecordAccepted();
        return {true, false, {}, messageIdOf(message)};
    }
    // A 5xx to any stage of this mail's transaction (MAIL FROM, RCPT TO, DATA, the end of
    // the data) refuses this mail for good: a 552 at MAIL FROM is the usual size refusal
    // once SIZE is announced. libcurl reports a refused MAIL, RCPT or DATA as a send error
    // and a refused end of data as a weird reply; a refused log-in or TLS is neither.
    long code = 0;
    curl_off_t uploaded = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
    const CURLcode curlCode = session_->code();
    const bool transaction = curlCode == CURLE_SEND_ERROR ||
                             (curlCode == CURLE_WEIRD_SERVER_REPLY && uploaded >= message.size());
    const bool permanent = code >= 500 && code < 600 && transaction;
    QString error = session_->error();
    if (code > 0) error = QStringLiteral("%1 (server reply %2)").arg(error).arg(code);
    Sent result{false, permanent, error, {}};
    // A connection that failed mid-mail is not used again; a stalled server would
    // otherwise hold the next mail too.
    session_->Abort();
    return result;
}

bool CurlSmtpMail::Mail() {
    permanent_ = false;
    if (sender_.isEmpty()) return fail(QStringLiteral("no sender is set"));
    if (draft_.to.isEmpty()) return fail(QStringLiteral("no recipient is set"));
    // A whole forward the server refused for good at an earlier check is not sent again.
    if (std::optional<QString> refusal = ledger_->OpenMailRefusal()) {
        permanent_ = true;
        ledger_->RecordRefused(*refusal);
        return fail(*refusal);
    }
    draft_.fromAddress = sender_;
    draft_.fromName = senderName_;
    draft_.key = ledger_->OpenMailKey();
    // A whole forward carries the original's files and answers to its sender.
    const OpenContent open = ledger_->OpenMailContent();
    draft_.original = open.message;
    draft_.replyToName = open.senderName;
    draft_.replyToAddress = open.senderAddress;
    const Sent sent = worker_.Run([this] { return send(BuildMessage(draft_)); });
    if (!sent.ok) {
        permanent_ = sent.permanent;
        if (permanent_) ledger_->RecordRefused(sent.error);
        return fail(sent.error);
    }
    qCInfo(lcMail) << "SMTP server accepted mail" << sent.messageId << "to" << draft_.to << "("
                   << draft_.body.size() << "characters)";
    error_.clear();
    return true;
}

}  // namespace mail
