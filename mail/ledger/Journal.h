#pragma once
// What happened to the messages of a mailbox: announced (Check-only mode), delivered
// (forwarded whole or listed in an accepted Digest mail: deleted at the end of a check),
// refused for ever as a whole forward (listed in a digest instead), and kept (listed in
// an accepted digest but left on the server: too large, or refused).
// An append-only file next to the settings: each fact is one line, written through to
// the operating system before the member that learnt it returns, so a killed process
// forgets nothing it reported; Sync makes the facts survive a power cut as well. A torn
// last line is ignored.

#include <QFile>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace ledger {

// Why the journal could not record, naming its file and the reason (the disk is full,
// the folder is read-only); nothing when it did.
using Failure = std::optional<QString>;

class Journal {
public:
    // account distinguishes mailboxes sharing one file (user name and server).
    Journal(QString path, const QString& account);

    bool IsAnnounced(const QString& uid) const { return announced_.contains(uid); }
    bool IsDelivered(const QString& uid) const { return delivered_.contains(uid); }
    bool IsKept(const QString& uid) const { return kept_.contains(uid); }
    // Why the SMTP server refused the message for ever, if it did.
    std::optional<QString> Refusal(const QString& uid) const;

    // The fact is held from now on; a failure says it is not in the file yet. It is
    // written again with the next fact, by Flush, or by KeepOnly.
    [[nodiscard]] Failure MarkAnnounced(const QString& uid);
    [[nodiscard]] Failure MarkDelivered(const QString& uid);
    [[nodiscard]] Failure MarkKept(const QString& uid);
    [[nodiscard]] Failure MarkRefused(const QString& uid, const QString& reason);
    // Writes the facts an earlier failure left out of the file.
    [[nodiscard]] Failure Flush();
    // Waits until the facts written so far are on the disk.
    [[nodiscard]] Failure Sync();

    // Why the journal cannot be used, empty when it can: a file that exists but cannot
    // be read is never taken as empty (the mails it records would be sent again) and
    // never written, and one that cannot be written would forget what is delivered next.
    const QString& Problem() const { return problem_; }

    // Forgets the messages of this account that are no longer on the server, keeping
    // the file as small as the mailbox. A failure leaves the file as it was.
    [[nodiscard]] Failure KeepOnly(const QStringList& uidsOnServer);

private:
    Failure record(char kind, const QString& uid, const QByteArray& extra = {});
    Failure failure(const QString& what, const QString& reason) const;
    Failure openForAppend();
    QByteArray line(char kind, const QString& uid, const QByteArray& extra = {}) const;
    void load();

    QString path_;
    QByteArray accountKey_;
    QSet<QString> announced_, delivered_, kept_;
    QHash<QString, QString> refused_;
    QByteArray unwritten_;  // lines held but not yet in the file
    QFile file_;
    QString problem_;
};

}  // namespace ledger
