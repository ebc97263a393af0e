#include "DigestLayout.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace core {

QString QuotedBody(const QString& body, std::int32_t maxBodyChars) {
    if (maxBodyChars <= 0 || maxBodyChars >= body.size()) return body;
    qsizetype cut = maxBodyChars;
    if (body[cut - 1].isHighSurrogate() && body[cut].isLowSurrogate()) --cut;
    return body.left(cut);
}

QString AttachmentLine(std::int32_t attachCount) {
    return QString::number(attachCount) + QStringLiteral("個の添付ファイル") + kCrLf;
}

QString DigestEntry(const DigestMail& mail, std::int64_t entryNo, std::int32_t maxBodyChars) {
    QString entry = QStringLiteral("No.") + QString::number(entryNo) + u' ' + mail.timeText + kCrLf;
    entry += QStringLiteral("from ") + mail.senderName;
    if (mail.senderName != mail.senderAddress) entry += u' ' + mail.senderAddress;
    entry += kCrLf;
    if (mail.refused) return entry + QStringLiteral("転送拒否") + kCrLf;
    if (mail.attachCount != 0) entry += AttachmentLine(mail.attachCount);
    entry += mail.subject + kCrLf;
    entry += QStringLiteral("-TEXT-") + kCrLf;
    if (!mail.note.isEmpty()) entry += mail.note + kCrLf;
    entry += QuotedBody(mail.body, maxBodyChars) + kCrLf;
    return entry;
}

QString ForwardSubject(const QString& subject) { return QStringLiteral("転送:") + subject; }

QString DigestSubject(std::int64_t listedCount, std::int64_t fullTextCount) {
    QString subject = QString::number(listedCount) + QStringLiteral("件のメール");
    if (fullTextCount != 0)
        subject += QStringLiteral("(") + QString::number(fullTextCount) + QStringLiteral("件全文)");
    return subject;
}

QString NewMailMessage(std::int32_t newCount) {
    return QStringLiteral("新たに") + QString::number(newCount) +
           QStringLiteral("件のメールが届きました");
}

QString NewMailTip(std::int32_t mailCount) {
    return QString::number(mailCount) + QStringLiteral("件の新着メール");
}

QString ForwardedTip(std::int32_t forwardedCount) {
    return QString::number(forwardedCount) + QStringLiteral("件転送済み");
}

namespace {
// A server's answer as one short line.
QString oneLine(const QString& text) {
    QString line = text.simplified();
    if (line.size() > 200) line = line.left(200) + QStringLiteral("…");
    return line;
}
}  // namespace

QString RefusedForwardNote(const QString& reason) {
    return QStringLiteral("（全文転送をSMTPサーバーに拒否されました: ") + oneLine(reason) +
           QStringLiteral("。元のメールはサーバーに残しています）");
}

QString RefusedForwardStatus(const QString& reason) {
    return QStringLiteral("全文転送を拒否されたメールがあります: ") + oneLine(reason);
}

QString EntryLabel(const DigestMail& mail, std::int64_t entryNo) {
    return oneLine(QStringLiteral("No.") + QString::number(entryNo) + u' ' + mail.senderAddress +
                   u' ' + mail.subject);
}

QString RefusedEntryStatus(const QString& label, const QString& reason) {
    return QStringLiteral("SMTPサーバーが受け付けないメールをサーバーに残しました: ") + label +
           QStringLiteral(" (") + oneLine(reason) + u')';
}

QString TimeText(const QString& dateText, const QDateTime& fallback) {
    // Date and time are read apart, so that a wall-clock time that local time skips
    // (a daylight-saving gap) still reads as written.
    if (dateText.size() > 6) {
        const QString rest = dateText.left(dateText.size() - 6).trimmed();
        const qsizetype split = rest.indexOf(QRegularExpression(QStringLiteral("[ T]")));
        if (split > 0) {
            const QString datePart = rest.left(split);
            const QString timePart = rest.mid(split + 1).trimmed();
            bool dateOk = false;
            for (const auto* form : {"yyyy/M/d", "yyyy-M-d"})
                dateOk = dateOk || QDate::fromString(datePart, QLatin1String(form)).isValid();
            for (const auto* form : {"H:mm:ss", "H:mm"}) {
                const QTime time = QTime::fromString(timePart, QLatin1String(form));
                if (dateOk && time.isValid()) return time.toString(QStringLiteral("HH:mm"));
            }
        }
    }
    return fallback.toString(QStringLiteral("HH:mm"));
}

QString StatusTime(const QDateTime& now) {
    return now.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

}  // namespace core
