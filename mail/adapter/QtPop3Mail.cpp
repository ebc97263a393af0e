#include "QtPop3Mail.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHash>
#include <QUrl>
#include <algorithm>

#include "MailNotes.h"
#include "mail/net/MailLog.h"

namespace mail {
namespace {

// How long the set-up's logged-in connection may wait for the first check. Servers keep
// an idle session for ten minutes at least; this stays well inside.
constexpr qint64 kSetUpSessionReuseMs = 30 * 1000;

}  // namespace

QtPop3Mail::QtPop3Mail(std::shared_ptr<ledger::DeliveryLedger> ledger, net::Timeouts timeouts,
                       pop3::Limits limits)
    : ledger_(std::move(ledger)), timeouts_(timeouts), limits_(limits) {}

QtPop3Mail::~QtPop3Mail() { dropSession(); }

QString QtPop3Mail::account() const { return user_ + u'\n' + server_->url; }

bool QtPop3Mail::Connect(const QString& pop3Server, const QString& userName,
                         const QString& password) {
    forwarding_ = ledger_->Pop3SetUpBegins() == ledger::Mode::Forwarding;
    authenticationFailed_ = false;
    dropSession();
    connected_ = false;

    QString why;
    server_ = net::ParseServerAddress(pop3Server, net::Protocol::Pop3, &why);
    if (!server_) {
        error_ = why;
        return false;
    }
    user_ = userName;
    password_ = password;
    const net::Status probe = openSession();
    if (!probe) {
        error_ = probe.error().message;
        authenticationFailed_ = probe.error().kind == net::Error::Kind::Authentication;
        return false;
    }
    // Reading the journal may wait for the disk: on the worker, like every journal call.
    if (const QString problem = worker_.Run([this] { return ledger_->OpenJournal(account()); });
        !problem.isEmpty()) {
        error_ = problem;
        dropSession();
        return false;
    }
    // The first check follows the set-up at once; it saves a whole log-in over a slow line.
    setUpSessionFresh_.setRemainingTime(kSetUpSessionReuseMs);
    connected_ = true;
    error_.clear();
    return true;
}

std::int32_t QtPop3Mail::RecvMail() {
    if (!connected_) {
        error_ = QStringLiteral("not connected to a POP3 server");
        return -1;
    }
    // A check that failed may have left a retrieval running ahead; it uses what is reset here.
    settleAhead();
    if (setUpSessionFresh_.hasExpired()) dropSession();
    new_.clear();
    deliveredEarlier_.clear();
    next_ = requested_ = 0;
    openedNo_ = 0;
    checkDeadline_.setRemainingTime(qint64(timeouts_.checkCeilingSeconds) * 1000);

    authenticationFailed_ = false;
    bool needsSession = false;
    net::Result<std::vector<pop3::Pop3Listed>> listing =
        worker_.Run([this, &needsSession] { return listFromSetUp(&needsSession); });
    if (needsSession) {
        // A new log-in: for a token server the token is taken here, off the worker.
        if (net::Status opened = openSession(); !opened) {
            listing = opened.error();
        } else {
            listing = worker_.Run([this] { return session_->List(); });
        }
    }
    setUpSessionFresh_ = QDeadlineTimer();  // expired: later checks log in afresh
    if (!listing) {
        error_ = listing.error().message;
        authenticationFailed_ = listing.error().kind == net::Error::Kind::Authentication;
        dropSession();
        return -1;
    }

    // Only a complete listing tells which messages are gone.
    QHash<QByteArray, int> uses;
    QStringList onServer;
    for (const pop3::Pop3Listed& message : listing.value()) {
        if (message.uid.isEmpty()) continue;  // listed without a usable UID
        ++uses[message.uid];
        onServer << QString::fromLatin1(message.uid);
    }
    // A journal that cannot record what this check would do stops it before anything is
    // sent or deleted.
    if (const ledger::Failure failed = worker_.Run([&] { return ledger_->BeginCheck(onServer); })) {
        error_ = *failed;
        dropSession();
        return -1;
    }

    mailCount_ = 0;
    for (const pop3::Pop3Listed& message : listing.value()) {
        const QString uid = QString::fromLatin1(message.uid);
        // A UID given twice, or none that can be used, identifies nothing: such a message
        // is new until a check deletes it.
        const bool shared = message.uid.isEmpty() || uses.value(message.uid) > 1;
        if (!shared && ledger_->IsKept(uid)) continue;
        if (!shared && ledger_->IsDelivered(uid)) {
            deliveredEarlier_.push_back(message.number);
            continue;
        }
        ++mailCount_;
        if (forwarding_ || !ledger_->IsAnnounced(uid)) {
            const bool tooLarge =
                message.size > limits_.maxMessageBytes || tooLargeUids_.contains(message.uid);
            new_.push_back({message, shared, tooLarge});
        }
    }
    qCInfo(net::lcMail) << "POP3 mailbox holds" << listing.value().size() << "messages,"
                        << new_.size() << "new," << deliveredEarlier_.size() << "delivered earlier";
    if (qsizetype(onServer.size()) > uses.size())
        qCWarning(net::lcMail) << "the POP3 server gave one UID to several messages";
    // Without new mail to forward the check ends here and never calls Refresh.
    if (new_.empty() || !forwarding_) deleteAndQuit(deliveredEarlier_);
    error_.clear();
    return static_cast<std::int32_t>(new_.size());
}

bool QtPop3Mail::takeToken(oauth::Tokens::Need need) {
    if (!tokens_) tokens_ = std::make_unique<oauth::Tokens>();
    // Keyed as the sign-in stores it.
    const QUrl url(server_->url);
    auto token = tokens_->AccessToken(
        oauth::AccountKey(QStringLiteral("pop3"), user_, url.host(), url.port()), need);
    if (!token) {
        error_ = token.error().message;
        authenticationFailed_ = token.error().kind == net::Error::Kind::Authentication;
        return false;
    }
    password_ = token.value();
    return true;
}

net::Status QtPop3Mail::openSession() {
    auto open = [this]() -> net::Status {
        auto session = std::make_unique<pop3::Pop3Session>(*server_, user_, password_, timeouts_,
                                                           limits_, &ledger_->ending);
        if (net::Status opened = session->Open(); !opened) return opened;
        session_ = std::move(session);
        return net::Done{};
    };
    if (!server_->oauth2) return worker_.Run(open);
    const auto refused = [this] {
        return net::Error{
            authenticationFailed_ ? net::Error::Kind::Authentication : net::Error::Kind::Failed,
            error_};
    };
    if (!takeToken(oauth::Tokens::Need::Usable)) return refused();
    net::Status opened = worker_.Run(open);
    if (opened || opened.error().kind != net::Error::Kind::Authentication) return opened;
    qCWarning(net::lcMail) << "the POP3 server refused the access token:" << opened.error().message;
    if (!takeToken(oauth::Tokens::Need::AfterRefusal)) return refused();
    return worker_.Run(open);
}

net::Result<std::vector<pop3::Pop3Listed>> QtPop3Mail::listFromSetUp(bool* needsSession) {
    if (session_) {
        net::Result<std::vector<pop3::Pop3Listed>> listing = session_->List();
        if (listing || listing.error().kind == net::Error::Kind::Ending) return listing;
        session_.reset();  // the server let the set-up's connection go
    }
    *needsSession = true;
    return net::Error{net::Error::Kind::Failed, QStringLiteral("no POP3 session is open")};
}

void QtPop3Mail::SetAutoSave(bool on) {
    // Only Check-only mode announces; a Forwarding check that failed announced nothing.
    if (!on || forwarding_ || !connected_) return;
    QStringList uids;
    for (const NewMail& mail : new_) uids << QString::fromLatin1(mail.listed.uid);
    // The announcement stands; the next check writes what is missing first, or fails.
    if (const ledger::Failure failed =
            worker_.Run([&] { return ledger_->RecordAnnounced(uids); })) {
        error_ = *failed;
        qCWarning(net::lcMail).noquote()
            << "the new mails are not recorded as announced:" << *failed;
    }
}

QString QtPop3Mail::mailKey(const QByteArray& uid, const QByteArray& content) const {
    QByteArray identity = (account() + u'\n' + QString::fromLatin1(uid)).toUtf8();
    // A UID that names two messages is told apart by the content.
    if (!content.isNull())
        identity += '\n' + QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    return QString::fromLatin1(
        QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(32));
}

net::Result<QtPop3Mail::Fetched> QtPop3Mail::fetch(qsizetype index) {
    if (checkDeadline_.hasExpired())
        return net::Error{net::Error::Kind::Failed,
                          QStringLiteral("the check took longer than %1 seconds")
                              .arg(timeouts_.checkCeilingSeconds)};
    if (!session_)
        return net::Error{net::Error::Kind::Failed, QStringLiteral("the POP3 session has ended")};
    const NewMail& mail = new_[index];
    Fetched fetched;
    QByteArray content;
    bool refused = false;
    if (mail.tooLarge) {
        net::Result<QByteArray> head = session_->Top(mail.listed.number, 0);
        // A server without TOP: the entry has the note alone.
        if (!head && head.error().kind != net::Error::Kind::Refused) return head.error();
        fetched.mail =
            mime::ReadMessage(head ? head.value() : QByteArray(), QDateTime::currentDateTime());
        fetched.mail.body = TooLargeNote(mail.listed.size);
        fetched.mail.attachCount = 0;
    } else {
        // Queue the retrievals up to the next message that is only read in part, so that
        // its TOP is not stuck behind retrievals in flight.
        requested_ = std::max(requested_, index);
        while (requested_ < qsizetype(new_.size()) && !new_[requested_].tooLarge) {
            session_->RequestRetr(new_[requested_].listed.number, new_[requested_].listed.size);
            ++requested_;
        }
        net::Result<QByteArray> raw = session_->NextRetr();
        if (!raw && raw.error().kind == net::Error::Kind::Refused) {
            // Another client deleted it, or the server cannot read it: the rest of the
            // mailbox goes on; it is listed with the server's answer and left where it is.
            qCWarning(net::lcMail)
                << "message" << mail.listed.uid
                << "could not be retrieved; it stays on the server:" << raw.error().message;
            fetched.mail = mime::ReadMessage(QByteArray(), QDateTime::currentDateTime());
            fetched.mail.body = NotRetrievedNote(raw.error().message);
            refused = true;
        } else if (!raw) {
            if (raw.error().kind == net::Error::Kind::TooLarge) tooLargeUids_ << mail.listed.uid;
            return raw.error();
        } else {
            content = std::move(raw.value());
            fetched.mail = mime::ReadMessage(content, QDateTime::currentDateTime());
        }
    }
    const QString uid = QString::fromLatin1(mail.listed.uid);
    fetched.ledgerMail = {
        .uid = mail.uidShared ? QString() : uid,
        .key = mailKey(mail.listed.uid, mail.uidShared ? content : QByteArray()),
        .keep = mail.tooLarge || refused,
        .messageNumber = mail.listed.number,
    };
    fetched.content = {std::move(content), fetched.mail.displayName, fetched.mail.address};
    return fetched;
}

void QtPop3Mail::startAhead() {
    if (next_ >= qsizetype(new_.size()) || !session_) return;
    const qsizetype index = next_;
    ahead_ = worker_.Post([this, index] { return fetch(index); });
}

std::int32_t QtPop3Mail::OpenNewMail(QString& body) {
    if (next_ >= qsizetype(new_.size())) {
        ledger_->DigestBegins();
        return 0;
    }
    if (!session_) {
        error_ = QStringLiteral("the POP3 session has ended");
        return -1;
    }
    if (!ahead_) startAhead();
    net::Result<Fetched> fetched = Worker::Wait(std::move(*ahead_));
    ahead_.reset();
    if (!fetched) {
        error_ = fetched.error().message;
        dropSession();
        return -1;
    }
    if (new_[next_].tooLarge)
        qCWarning(net::lcMail)
            << "message" << new_[next_].listed.uid << "of" << new_[next_].listed.size
            << "bytes is too large to read; its headers are listed and it stays on the server";
    ++next_;
    startAhead();
    opened_ = std::move(fetched.value().mail);
    ledger_->ForwardBegins(fetched.value().ledgerMail, std::move(fetched.value().content));
    body = opened_.body;
    openedNo_ = static_cast<std::int32_t>(next_);
    return openedNo_;
}

bool QtPop3Mail::GetMailInfo(std::int32_t& mailNo, QString& displayName, QString& address,
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

bool QtPop3Mail::DeleteMail(std::int32_t& mailNo, std::int16_t mode) {
    return mode == 2 && ledger_->Listed(mailNo);
}

void QtPop3Mail::Refresh() {
    if (!connected_) return;
    // What the cycle listed is delivered now, also when no digest had to be sent.
    std::vector<int> numbers = std::exchange(deliveredEarlier_, {});
    if (const ledger::Failure failed =
            worker_.Run([&] { return ledger_->ListedDelivered(&numbers); })) {
        error_ = *failed;
        qCWarning(net::lcMail).noquote() << "nothing is deleted from the server:" << *failed;
        dropSession();
        return;
    }
    deleteAndQuit(numbers);
}

void QtPop3Mail::settleAhead() {
    if (!ahead_) return;
    Worker::WaitReady(*ahead_);
    ahead_.reset();
}

void QtPop3Mail::deleteAndQuit(const std::vector<int>& numbers) {
    settleAhead();
    const net::Status quit = worker_.Run([&]() -> net::Status {
        std::unique_ptr<pop3::Pop3Session> session = std::move(session_);
        if (!session) return net::Done{};
        return session->DeleteAndQuit(numbers);  // a failure commits nothing
    });
    if (quit) {
        if (!numbers.empty())
            qCInfo(net::lcMail) << "POP3 server deleted" << numbers.size() << "messages";
    } else {
        qCWarning(net::lcMail) << "POP3 deletions not committed:" << quit.error().message;
    }
}

void QtPop3Mail::dropSession() {
    settleAhead();
    worker_.Run([this] {
        if (session_) session_->Abort();
        session_.reset();
        return true;
    });
}

}  // namespace mail
