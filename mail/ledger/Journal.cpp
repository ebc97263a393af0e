#include "Journal.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace ledger {

Journal::Journal(QString path, const QString& account) : path_(std::move(path)) {
    accountKey_ =
        QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    load();
    if (problem_.isEmpty()) {
        if (const Failure failed = openForAppend()) problem_ = *failed;
    }
}

Failure Journal::failure(const QString& what, const QString& reason) const {
    return QStringLiteral("the journal %1 cannot be %2: %3").arg(path_, what, reason);
}

// Lines: "<A|D|K> <account key> <uid>\n" and "R <account key> <uid> <reason in base64>\n".
// UIDs are printable ASCII without blanks.
void Journal::load() {
    QFile in(path_);
    if (!in.exists()) return;
    if (!in.open(QIODevice::ReadOnly)) {
        problem_ = *failure(QStringLiteral("read"), in.errorString());
        return;
    }
    const QByteArray text = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        problem_ = *failure(QStringLiteral("read"), in.errorString());
        return;
    }
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() < 3 || parts[1] != accountKey_) continue;
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

Failure Journal::openForAppend() {
    if (file_.isOpen()) return std::nullopt;
    file_.setFileName(path_);
    if (!file_.open(QIODevice::Append | QIODevice::Unbuffered))
        return failure(QStringLiteral("written"), file_.errorString());
    file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // A line torn by a killed process must not swallow the next one.
    if (file_.size() > 0) {
        QFile check(path_);
        if (check.open(QIODevice::ReadOnly) && check.seek(check.size() - 1) &&
            check.read(1) != "\n")
            unwritten_.prepend('\n');
    }
    return std::nullopt;
}

QByteArray Journal::line(char kind, const QString& uid, const QByteArray& extra) const {
    QByteArray line = QByteArray(1, kind) + ' ' + accountKey_ + ' ' + uid.toLatin1();
    if (!extra.isEmpty()) line += ' ' + extra;
    return line + '\n';
}

Failure Journal::Flush() {
    if (!problem_.isEmpty()) return problem_;
    if (unwritten_.isEmpty()) return std::nullopt;
    if (Failure failed = openForAppend()) return failed;
    const qint64 before = file_.size();
    if (file_.write(unwritten_) == unwritten_.size()) {
        unwritten_.clear();
        return std::nullopt;
    }
    // A part of a line is taken back, so that the file never holds a torn line that
    // the next one would be glued to. A short write leaves the reason in errno only.
    const QString reason = file_.error() != QFileDevice::NoError
                               ? file_.errorString()
                               : QString::fromLocal8Bit(std::strerror(errno));
    Failure failed = failure(QStringLiteral("written"), reason);
    file_.resize(before);
    return failed;
}

Failure Journal::record(char kind, const QString& uid, const QByteArray& extra) {
    if (!problem_.isEmpty()) return problem_;
    unwritten_ += line(kind, uid, extra);
    return Flush();
}

Failure Journal::MarkAnnounced(const QString& uid) {
    if (announced_.contains(uid)) return std::nullopt;
    announced_.insert(uid);
    return record('A', uid);
}

Failure Journal::MarkDelivered(const QString& uid) {
    if (delivered_.contains(uid)) return std::nullopt;
    delivered_.insert(uid);
    return record('D', uid);
}

Failure Journal::MarkKept(const QString& uid) {
    if (kept_.contains(uid)) return std::nullopt;
    kept_.insert(uid);
    return record('K', uid);
}

Failure Journal::MarkRefused(const QString& uid, const QString& reason) {
    if (refused_.contains(uid)) return std::nullopt;
    refused_.insert(uid, reason);
    return record('R', uid, reason.toUtf8().toBase64());
}

Failure Journal::Sync() {
    if (!problem_.isEmpty()) return problem_;
    if (!file_.isOpen()) return std::nullopt;
    if (::fdatasync(file_.handle()) != 0)
        return failure(QStringLiteral("synced"), QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
}

Failure Journal::KeepOnly(const QStringList& uidsOnServer) {
    if (!problem_.isEmpty()) return problem_;  // never overwrite what could not be read
    const QSet<QString> keep(uidsOnServer.begin(), uidsOnServer.end());
    const QStringList refusedUids = refused_.keys();
    const QSet<QString> refused(refusedUids.begin(), refusedUids.end());
    if ((announced_ - keep).isEmpty() && (delivered_ - keep).isEmpty() &&
        (kept_ - keep).isEmpty() && (refused - keep).isEmpty())
        return std::nullopt;

    // Rewrite: other accounts' lines as they were, this account's facts still needed.
    QByteArray out;
    QFile in(path_);
    if (!in.open(QIODevice::ReadOnly)) return failure(QStringLiteral("read"), in.errorString());
    for (const QByteArray& line : in.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 3 && parts[1] != accountKey_) out += line + '\n';
    }
    if (in.error() != QFileDevice::NoError)
        return failure(QStringLiteral("read"), in.errorString());
    for (const QString& uid : announced_& keep) out += line('A', uid);
    for (const QString& uid : delivered_& keep) out += line('D', uid);
    for (const QString& uid : kept_& keep) out += line('K', uid);
    for (auto it = refused_.cbegin(); it != refused_.cend(); ++it)
        if (keep.contains(it.key())) out += line('R', it.key(), it.value().toUtf8().toBase64());
    QSaveFile save(path_);
    if (!save.open(QIODevice::WriteOnly))
        return failure(QStringLiteral("rewritten"), save.errorString());
    save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (save.write(out) != out.size() || !save.commit())
        return failure(QStringLiteral("rewritten"), save.errorString());
    // The new file holds every fact, the unwritten ones too.
    file_.close();
    unwritten_.clear();
    announced_ &= keep;
    delivered_ &= keep;
    kept_ &= keep;
    for (const QString& uid : refused - keep) refused_.remove(uid);
    return std::nullopt;
}

}  // namespace ledger
