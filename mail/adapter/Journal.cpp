#include "Journal.h"

#include <QCryptographicHash>
#include <QSaveFile>

namespace mail {

Journal::Journal(QString path, const QString& account) : path_(std::move(path)) {
    accountKey_ = QString::fromLatin1(
        QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    load();
}

// Lines: "<A|D> <account key> <uid>\n". UIDs are printable ASCII without blanks.
void Journal::load() {
    QFile in(path_);
    if (!in.open(QIODevice::ReadOnly)) return;
    for (const QByteArray& line : in.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 3 || parts[1] != accountKey_.toLatin1()) continue;
        const QString uid = QString::fromLatin1(parts[2]);
        if (parts[0] == "A") announced_.insert(uid);
        if (parts[0] == "D") delivered_.insert(uid);
    }
}

bool Journal::append(char kind, const QString& uid) {
    if (!file_.isOpen()) {
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
    }
    const QByteArray line = QByteArray(1, kind) + ' ' + accountKey_.toLatin1() + ' ' +
                            uid.toLatin1() + '\n';
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

void Journal::KeepOnly(const QStringList& uidsOnServer) {
    const QSet<QString> keep(uidsOnServer.begin(), uidsOnServer.end());
    if ((announced_ - keep).isEmpty() && (delivered_ - keep).isEmpty()) return;
    announced_ &= keep;
    delivered_ &= keep;

    // Rewrite: other accounts' lines as they were, this account's facts still needed.
    QByteArray out;
    QFile in(path_);
    if (in.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : in.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 3 && parts[1] != accountKey_.toLatin1()) out += line + '\n';
        }
    }
    const QByteArray key = accountKey_.toLatin1();
    for (const QString& uid : announced_) out += "A " + key + ' ' + uid.toLatin1() + '\n';
    for (const QString& uid : delivered_) out += "D " + key + ' ' + uid.toLatin1() + '\n';
    file_.close();
    QSaveFile save(path_);
    if (!save.open(QIODevice::WriteOnly)) return;
    save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    save.write(out);
    save.commit();
}

}  // namespace mail
