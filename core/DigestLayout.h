#pragma once
// The texts the check cycle builds: digest entries, subjects, tips and time texts.
// Every line ends with CR LF; numbers are plain decimal.

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace core {

inline const QString kCrLf = QStringLiteral("\r\n");

// One mail as the digest lists it.
struct DigestMail {
    QString timeText;  // "hh:mm"
    QString senderName;
    QString senderAddress;
    std::int32_t attachCount = 0;
    QString subject;
    QString body;
    bool refused = false;
    // A line written after "-TEXT-", before the quoted body (why the mail is listed
    // rather than forwarded whole); empty for none.
    QString note;
};

// The first maxBodyChars UTF-16 code units of body; the whole body for 0 or a negative
// value. A cut never leaves half of a surrogate pair: it stops before the pair.
QString QuotedBody(const QString& body, std::int32_t maxBodyChars);

// One digest entry: "No.<n> <time>", "from <name>[ <address>]", then either "転送拒否"
// (refused) or the attachment line (when any), the subject, "-TEXT-" and the quoted body.
QString DigestEntry(const DigestMail& mail, std::int64_t entryNo, std::int32_t maxBodyChars);

// "<n>個の添付ファイル" followed by CR LF.
QString AttachmentLine(std::int32_t attachCount);

// The subject of a mail forwarded whole: "転送:" and the original subject.
QString ForwardSubject(const QString& subject);

// "<n>件のメール", then "(<k>件全文)" when k mails were forwarded whole.
QString DigestSubject(std::int64_t listedCount, std::int64_t fullTextCount);

// The announcement of new mail in Check-only mode.
QString NewMailMessage(std::int32_t newCount);

// The tray tips: waiting mail (Check-only mode) and mail forwarded so far.
QString NewMailTip(std::int32_t mailCount);
QString ForwardedTip(std::int32_t forwardedCount);

// A whole forward the SMTP server refused for good: the note in its digest entry and
// the status label's text.
QString RefusedForwardNote(const QString& reason);
QString RefusedForwardStatus(const QString& reason);

// A digest entry the SMTP server refused for good (its mail stays on the server): the
// entry as the status label names it, and the status label's text.
QString EntryLabel(const DigestMail& mail, std::int64_t entryNo);
QString RefusedEntryStatus(const QString& label, const QString& reason);

// "hh:mm" read from a date text whose last 6 characters (the zone, " +0900") are
// dropped; the hour stays as written. When the rest is no date and time, fallback's time.
QString TimeText(const QString& dateText, const QDateTime& fallback);

// "yyyy/mm/dd hh:mm:ss" for the status label.
QString StatusTime(const QDateTime& now);

}  // namespace core
