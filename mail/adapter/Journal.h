#pragma once
// Which messages of a mailbox were announced (Check-only mode) and which were delivered
// (forwarded whole, listed in an accepted Digest mail, or refused in a completed cycle).
// An append-only file next to the executable: each fact is one line, written through to
// the operating system before the member that learnt it returns, so a killed process
// forgets nothing it reported. A torn last line is ignored.

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

namespace mail {

class Journal {
public:
    // account distinguishes mailboxes sharing one file (user name and server).
    Journal(QString path, const QString& account);

    bool IsAnnounced(const QString& uid) const { return announced_.contains(uid); }
    bool IsDelivered(const QString& uid) const { return delivered_.contains(uid); }

    // False when the fact could not be written; it is then not held either.
    bool MarkAnnounced(const QString& uid);
    bool MarkDelivered(const QString& uid);

    // Forgets the messages of this account that are no longer on the server, keeping
    // the file as small as the mailbox.
    void KeepOnly(const QStringList& uidsOnServer);

private:
    bool append(char kind, const QString& uid);
    void load();

    QString path_;
    QString accountKey_;
    QSet<QString> announced_, delivered_;
    QFile file_;
};

}  // namespace mail
