#include "Journal.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QSaveFile>

namespace ledger {

Journal::Journal(QString path, const QString& account) : path_(std::move(path)) {
    accountKey_ = QString::fromLatin1(
        QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    load();
    if (problem_.isEmpty() && !openForAppend())
        problem_ =
            QStringLiteral("the journal %1 cannot be written: %2").arg(path_, file_.errorString());
}

// Lines: "<A|D|K> <account key> <uid>\n" and "R <account key> <uid> <reason in base64>\n".
// UIDs are printable ASCII without blanks.
void Journal::load() {
    QFile in(path_);
    if (!in.exists()) return;
    if (!in.open(QIODevice::ReadOnly)) {
        problem_ = QStringLiteral("the journal %1 cannot be read: %2").arg(path_, in.errorString());
        return;
    }
    for (const QByteArray& line : in.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 3 || parts[1] != accountKey_.toLatin1()) continue;
        const QString uid = QString::fromLatin1(parts[2]);
        if (parts.size() == 3 && parts[0] == "A") announced_.insert(uid);
        if (parts.size() == 3 && parts[0] == "D") delivered_.insert(uid);
        if (parts.size() == 3 && parts[0] == "K") kept_.insert(uid);
        if (parts.size() == 4 && parts[0] == "R")
            refused_.insert(uid, QString::fromUtf8(QByteArray::fromBase64(parts[3])));
    }
}

std::optional<QString> Journal::Refusal(const QString& uid) const {
    const auto it = refused_.constFind(uid);
    if (it == refused_.constEnd()) return std::nullopt;
    return *it;
}

bool Journal::openForAppend() {
    if (file_.isOpen()) return true;
    file_.setFileName(path_);
    if (!file_.open(QIODevice::Append | QIODevice::Unbuffered)) return false;
    file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // A line torn by a killed process must not swallow the next one.
    if (file_.size() > 0) {
        QFile check(path_);
        if (check.open(QIODevice::ReadOnly) && check.seek(check.size() - 1) &&
            check.read(1) != "\n")
            file_.write("\n");
    }
    return true;
}

bool Journal::append(char kind, const QString& uid, const QByteArray& extra) {
    if (!problem_.isEmpty() || !openForAppend()) return false;
    QByteArray line = QByteArray(1, kind) + ' ' + accountKey_.toLatin1() + ' ' + uid.toLatin1();
    if (!extra.isEmpty()) line += ' ' + extra;
    line += '\n';
    return file_.write(line) == line.size();
}

bool Journal::MarkAnnounced(const QString& uid) {
    if (announced_.contains(uid)) return true;
    if (!append('A', uid)) return false;
    announced_.insert(uid);
    return true;
}

bool Journal::MarkDelivered(const QString& uid) {
    if (delivered_.contains(uid)) return true;
    if (!append('D', uid)) return false;
    delivered_.insert(uid);
    return true;
}

bool Journal::MarkKept(const QString& uid) {
    if (kept_.contains(uid)) return true;
    if (!append('K', uid)) return false;
    kept_.insert(uid);
    return true;
}

bool Journal::MarkRefused(const QString& uid, const QString& reason) {
    if (refused_.contains(uid)) return true;
    if (!append('R', uid, reason.toUtf8().toBase64())) return false;
    refused_.insert(uid, reason);
    return true;
}

bool Journal::Sync() {
    if (!file_.isOpen()) return true;
    return ::fdatasync(file_.handle()) == 0;
}

void Journal::KeepOnly(const QStringList& uidsOnServer) {
    if (!problem_.isEmpty()) return;  // never overwrite what could not be read
    const QSet<QString> keep(uidsOnServer.begin(), uidsOnServer.end());
    const QStringList refusedUids = refused_.keys();
    const QSet<QString> refused(refusedUids.begin(), refusedUids.end());
    if ((announced_ - keep).isEmpty() && (delivered_ - keep).isEmpty() &&
        (kept_ - keep).isEmpty() && (refused - keep).isEmpty())
        return;
    announced_ &= keep;
    delivered_ &= keep;
    kept_ &= keep;
    for (const QString& uid : refused - keep) refused_.remove(uid);

    // Rewrite: other accounts' lines as they were, this account's facts still needed.
    QByteArray out;
    QFile in(path_);
    if (in.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : in.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() >= 3 && parts[1] != accountKey_.toLatin1()) out += line + '\n';
        }
    }
    const QByteArray key = accountKey_.toLatin1();
    for (const QString& uid : announced_) out += "A " + key + ' ' + uid.toLatin1() + '\n';
    for (const QString& uid : delivered_) out += "D " + key + ' ' + uid.toLatin1() + '\n';
    for (const QString& uid : kept_) out += "K " + key + ' ' + uid.toLatin1() + '\n';
    for (auto it = refused_.cbegin(); it != refused_.cend(); ++it)
        out += "R " + key + ' ' + it.key().toLatin1() + ' ' + it.value().toUtf8().toBase64() + '\n';
    file_.close();
    QSaveFile save(path_);
    if (!save.open(QIODevice::WriteOnly)) return;
    save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    save.write(out);
    save.commit();
}

}  // namespace ledger
