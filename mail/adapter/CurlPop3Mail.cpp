#include "CurlPop3Mail.h"

#include "BlockingCall.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSet>
#include <system_error>

namespace mail {
CurlPop3Mail::CurlPop3Mail(std::shared_ptr<ComponentContext> context, QString journalPath,
                           Timeouts timeouts)
    : context_(std::move(context)), journalPath_(std::move(journalPath)), timeouts_(timeouts) {
    context_->onMailAccepted = [this] { onMailAccepted(); };
    context_->openedMailKey = [this] { return openedMailKey(); };
}

CurlPop3Mail::~CurlPop3Mail() {
    context_->onMailAccepted = nullptr;
    context_->openedMailKey = nullptr;
    closeSession();
}

bool CurlPop3Mail::Connect(const QString& pop3Server, const QString& userName,
                           const QString& password) {
    forwarding_ = context_->smtpConnectedSincePop3Connect;
    context_->smtpConnectedSincePop3Connect = false;
    closeSession();
    journal_.reset();

    QString why;
    server_ = ParseServerAddress(pop3Server, Protocol::Pop3, &why);
    if (!server_) {
        error_ = why;
        return false;
    }
    user_ = userName;
    password_ = password;
    CurlSession probe(*server_, user_, password_, timeouts_, &context_->ending);
    const bool ok = RunBlocking([&] {
        const bool answered = probe.Perform({QString(), "NOOP", true, nullptr, nullptr});
        answered ? probe.Close() : probe.Abort();
        return answered;
    });
    if (!ok) {
        error_ = probe.error();
        return false;
    }
    journal_ = std::make_unique<Journal>(journalPath_, user_ + u'\n' + server_->url);
    error_.clear();
    return true;
}

bool CurlPop3Mail::list(std::vector<Listed>* listing) {
    QByteArray text;
    if (!session_->Perform({QString(), "UIDL", false, &text, nullptr})) return false;
    listing->clear();
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty()) continue;
        const QList<QByteArray> fields = line.split(' ');
        bool ok = false;
        const int number = fields.value(0).toInt(&ok);
        if (fields.size() != 2 || !ok || number <= 0 || fields[1].isEmpty()) {
            session_->SetError(QStringLiteral("unreadable UIDL line from the server: %1")
                                   .arg(QString::fromLatin1(line.left(100))));
            return false;
        }
        listing->push_back({number, QString::fromLatin1(fields[1])});
    }
    return true;
}

std::int32_t CurlPop3Mail::RecvMail() {
    if (!journal_) {
        error_ = QStringLiteral("not connected to a POP3 server");
        return -1;
    }
    closeSession();
    session_ = std::make_unique<CurlSession>(*server_, user_, password_, timeouts_, &context_->ending);
    newUids_.clear();
    listedThisCycle_.clear();
    deliveredEarlier_.clear();
    openedUid_.clear();
    openedNo_ = 0;
    next_ = 0;

    if (!RunBlocking([this] { return list(&listing_); })) {
        error_ = session_->error();
        abortSession();
        return -1;
    }
    QStringList onServer;
    numbers_.clear();
    for (const Listed& message : listing_) {
        onServer << message.uid;
        numbers_.insert(message.uid, message.number);
    }
    journal_->KeepOnly(onServer);

    mailCount_ = 0;
    for (const QString& uid : onServer) {
        if (journal_->IsDelivered(uid)) {
            deliveredEarlier_ << uid;
            continue;
        }
        ++mailCount_;
        if (forwarding_ || !journal_->IsAnnounced(uid)) newUids_ << uid;
    }
    // Without new mail to forward the cycle ends here and never calls Refresh.
    if (newUids_.isEmpty() || !forwarding_) deleteAndQuit(deliveredEarlier_);
    error_.clear();
    return static_cast<std::int32_t>(newUids_.size());
}

void CurlPop3Mail::SetAutoSave(bool on) {
    if (!on || !journal_) return;
    for (const QString& uid : newUids_) journal_->MarkAnnounced(uid);
}

std::int32_t CurlPop3Mail::OpenNewMail(QString& body) {
    if (next_ >= newUids_.size()) {
        openedUid_.clear();
        return 0;
    }
    if (!session_) {
        error_ = QStringLiteral("the POP3 session has ended");
        return -1;
    }
    const QString uid = newUids_[next_];
    QByteArray raw;
    bool ok = false;
    if (ahead_) {
        ok = joinAhead();
        raw = std::move(ahead_->raw);
        ahead_.reset();
    } else {
        const int number = numbers_.value(uid);
        ok = RunBlocking([&] { return retrieve(number, &raw); });
    }
    if (!ok) {
        error_ = session_->error();
        abortSession();
        return -1;
    }
    ++next_;
    startAhead();
    opened_ = RunBlocking([&] { return ReadMessage(raw, QDateTime::currentDateTime()); });
    body = opened_.body;
    openedUid_ = uid;
    openedNo_ = static_cast<std::int32_t>(next_);
    return openedNo_;
}

bool CurlPop3Mail::retrieve(int number, QByteArray* raw) {
    if (!session_->Perform({QStringLiteral("/%1").arg(number), nullptr, false, raw, nullptr}))
        return false;
    // Message numbers belong to the session that listed them.
    if (session_->Reconnected()) {
        session_->SetError(QStringLiteral("the connection to the POP3 server was lost"));
        return false;
    }
    return true;
}

void CurlPop3Mail::startAhead() {
    if (next_ >= newUids_.size() || !session_) return;
    const int number = numbers_.value(newUids_[next_]);
    auto ahead = std::make_unique<Ahead>();
    Ahead* running = ahead.get();
    try {
        ahead->worker = std::thread([this, running, number] {
            running->ok = retrieve(number, &running->raw);
            running->done.store(true);
        });
    } catch (const std::system_error&) {
        return;  // no thread to spare: OpenNewMail retrieves the message itself
    }
    ahead_ = std::move(ahead);
}

bool CurlPop3Mail::joinAhead() {
    // A retrieval that is already over needs no waiting thread.
    if (ahead_->done.load()) {
        ahead_->worker.join();
    } else {
        RunBlocking([this] {
            ahead_->worker.join();
            return true;
        });
    }
    return ahead_->ok;
}

void CurlPop3Mail::settleAhead() {
    if (!ahead_) return;
    const bool ok = joinAhead();
    ahead_.reset();
    if (!ok && session_) {
        session_->Abort();
        session_.reset();
    }
}

bool CurlPop3Mail::GetMailInfo(std::int32_t& mailNo, QString& displayName, QString& address,
                               QString& dateText, QString& subject, QString& other,
                               std::int32_t& attachCount) {
    if (mailNo != openedNo_ || openedNo_ == 0) return false;
    displayName = opened_.displayName;
    address = opened_.address;
    dateText = opened_.dateText;
    subject = opened_.subject;
    other.clear();
    attachCount = opened_.attachCount;
    return true;
}

bool CurlPop3Mail::DeleteMail(std::int32_t& mailNo, std::int16_t mode) {
    if (mode != 2 || mailNo <= 0 || mailNo > newUids_.size()) return false;
    listedThisCycle_ << newUids_[mailNo - 1];
    return true;
}

QString CurlPop3Mail::openedMailKey() const {
    if (openedUid_.isEmpty() || !server_) return {};
    const QByteArray identity = (user_ + u'\n' + server_->url + u'\n' + openedUid_).toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(32));
}

void CurlPop3Mail::onMailAccepted() {
    if (!journal_) return;
    if (!openedUid_.isEmpty()) {
        journal_->MarkDelivered(openedUid_);  // forwarded whole: never again
        return;
    }
    for (const QString& uid : listedThisCycle_) journal_->MarkDelivered(uid);  // the digest
}

void CurlPop3Mail::Refresh() {
    if (!journal_) return;
    for (const QString& uid : listedThisCycle_) journal_->MarkDelivered(uid);
    deleteAndQuit(deliveredEarlier_ + listedThisCycle_);
    listedThisCycle_.clear();
    deliveredEarlier_.clear();
}

void CurlPop3Mail::deleteAndQuit(const QStringList& uidList) {
    settleAhead();
    if (!session_) return;
    const QSet<QString> uids(uidList.begin(), uidList.end());
    RunBlocking([&] {
        // Numbers from a listing of this very session: a reconnect lists anew.
        std::vector<Listed> current;
        if (!uids.isEmpty() && list(&current)) {
            for (const Listed& message : current) {
                if (!uids.contains(message.uid)) continue;
                const bool deleted = session_->Perform(
                    {QStringLiteral("/%1").arg(message.number), "DELE", true, nullptr, nullptr});
                // A DELE that went out on a new connection used another session's number:
                // that session must end without QUIT, so that it commits nothing.
                if (session_->Reconnected()) {
                    session_->Abort();
                    return true;
                }
                if (!deleted) break;
            }
        }
        session_->Close();  // QUIT commits the deletions
        return true;
    });
    session_.reset();
}

void CurlPop3Mail::closeSession() {
    settleAhead();
    if (!session_) return;
    RunBlocking([this] {
        session_->Close();
        return true;
    });
    session_.reset();
}

void CurlPop3Mail::abortSession() {
    settleAhead();
    if (session_) session_->Abort();
    session_.reset();
}

}  // namespace mail
