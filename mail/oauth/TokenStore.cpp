#include "TokenStore.h"

#include <qt6keychain/keychain.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryFile>
#include <QTimer>
#include <cstdio>

#include "OAuthLog.h"

namespace oauth {
namespace {

using net::Done;
using net::Error;

const QString kService = QStringLiteral("tarnpost");
constexpr int kKeyringWaitMs = 10000;  // a keyring that does not answer in this is none

// Runs a keychain job to its end in a local loop; false when it did not end in time.
bool finish(QKeychain::Job& job) {
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    bool ended = false;
    QObject::connect(&job, &QKeychain::Job::finished, [&ended] { ended = true; });
    job.setAutoDelete(false);
    limit.start(kKeyringWaitMs);
    job.start();
    if (!ended) loop.exec(QEventLoop::ExcludeUserInputEvents);
    return ended;
}

}  // namespace

QString DefaultTokenFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tarnpost");
}

TokenStore::TokenStore(QString fileFolder) : folder_(std::move(fileFolder)) {}

QString TokenStore::FilePath() const { return folder_ + QStringLiteral("/tokens.json"); }

// A read of an entry that cannot exist tells whether a keyring answers at all.
void TokenStore::decide() {
    if (place_ != Place::Undecided) return;
    QKeychain::ReadPasswordJob probe(kService);
    probe.setKey(QStringLiteral("tarnpost keyring probe"));
    const bool answered = finish(probe);
    if (answered &&
        (probe.error() == QKeychain::NoError || probe.error() == QKeychain::EntryNotFound)) {
        place_ = Place::Keyring;
        qCInfo(lcOAuth) << "tokens are kept in the keyring (Secret Service)";
        return;
    }
    place_ = Place::File;
    qCWarning(lcOAuth).noquote()
        << QStringLiteral(
               "no keyring answers on the session bus (%1); tokens are kept in %2, "
               "readable by you only")
               .arg(answered ? probe.errorString() : QStringLiteral("no answer"), FilePath());
}

net::Result<QJsonObject> TokenStore::readFile() const {
    QFile file(FilePath());
    if (!file.exists()) return QJsonObject{};
    if (!file.open(QIODevice::ReadOnly))
        return Error{Error::Kind::Failed,
                     QStringLiteral("cannot read %1: %2").arg(FilePath(), file.errorString())};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return Error{Error::Kind::Failed, QStringLiteral("%1 is not a token file").arg(FilePath())};
    return document.object();
}

// A new file is made beside the old one (QTemporaryFile creates it 0600) and renamed
// over it, so a crash leaves one whole file and no reader ever sees a wider mode.
net::Status TokenStore::writeFile(const QJsonObject& all) const {
    if (!QDir().mkpath(folder_))
        return Error{Error::Kind::Failed,
                     QStringLiteral("cannot create the folder %1").arg(folder_)};
    QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QTemporaryFile file(folder_ + QStringLiteral("/tokens.XXXXXX"));
    const QByteArray bytes = QJsonDocument(all).toJson();
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return Error{Error::Kind::Failed,
                     QStringLiteral("cannot write %1: %2").arg(FilePath(), file.errorString())};
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(FilePath()).constData()) != 0)
        return Error{Error::Kind::Failed, QStringLiteral("cannot replace %1").arg(FilePath())};
    file.setAutoRemove(false);
    return Done{};
}

net::Result<std::optional<Token>> TokenStore::Load(const QString& account) {
    decide();
    if (place_ == Place::File) {
        auto all = readFile();
        if (!all) return all.error();
        if (!all.value().contains(account)) return std::optional<Token>();
        return std::optional<Token>(Token::FromJson(all.value()[account].toObject()));
    }
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(account);
    if (!finish(job))
        return Error{Error::Kind::Failed, QStringLiteral("the keyring did not answer")};
    if (job.error() == QKeychain::EntryNotFound) return std::optional<Token>();
    if (job.error() != QKeychain::NoError)
        return Error{Error::Kind::Failed,
                     QStringLiteral("cannot read the keyring: %1").arg(job.errorString())};
    return std::optional<Token>(
        Token::FromJson(QJsonDocument::fromJson(job.textData().toUtf8()).object()));
}

net::Status TokenStore::Save(const QString& account, const Token& token) {
    decide();
    if (place_ == Place::File) {
        auto all = readFile();
        if (!all) return all.error();
        all.value()[account] = token.ToJson();
        return writeFile(all.value());
    }
    QKeychain::WritePasswordJob job(kService);
    job.setKey(account);
    job.setTextData(
        QString::fromUtf8(QJsonDocument(token.ToJson()).toJson(QJsonDocument::Compact)));
    if (!finish(job))
        return Error{Error::Kind::Failed, QStringLiteral("the keyring did not answer")};
    if (job.error() != QKeychain::NoError)
        return Error{Error::Kind::Failed,
                     QStringLiteral("cannot write to the keyring: %1").arg(job.errorString())};
    return Done{};
}

}  // namespace oauth
