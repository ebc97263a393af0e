#include "SmtpReplyReader.h"

#include "mail/net/ServerText.h"

namespace smtp {

void SmtpReplyReader::Begin() {
    reply_ = {};
    error_ = {};
    // Drop what earlier replies used, so the buffer holds only what is still to read.
    if (pos_ > 0) {
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
}

void SmtpReplyReader::Feed(QByteArrayView bytes) { buffer_.append(bytes); }

SmtpReplyReader::Step SmtpReplyReader::fail(QString why) {
    error_ = net::Error{net::Error::Kind::Failed, std::move(why)};
    buffer_.clear();
    pos_ = 0;
    return Step::Failed;
}

SmtpReplyReader::Step SmtpReplyReader::Parse() {
    if (error_.message.size() > 0) return Step::Failed;
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', pos_);
        if (end < 0) {
            if (buffer_.size() - pos_ > kMaxLineBytes)
                return fail(QStringLiteral("the SMTP server sent a reply line longer than %1 bytes")
                                .arg(kMaxLineBytes));
            return Step::NeedMore;
        }
        QByteArrayView line(buffer_.constData() + pos_, end - pos_);
        if (line.size() > kMaxLineBytes)
            return fail(QStringLiteral("the SMTP server sent a reply line longer than %1 bytes")
                            .arg(kMaxLineBytes));
        pos_ = end + 1;
        if (line.endsWith('\r')) line.chop(1);
        const bool digits = line.size() >= 3 && line[0] >= '2' && line[0] <= '5' &&
                            line[1] >= '0' && line[1] <= '9' && line[2] >= '0' && line[2] <= '9';
        const char separator = line.size() > 3 ? line[3] : ' ';
        if (!digits || (separator != ' ' && separator != '-'))
            return fail(QStringLiteral("unreadable SMTP reply line \"%1\"")
                            .arg(net::ShortServerText(line)));
        const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        if (!reply_.lines.isEmpty() && code != reply_.code)
            return fail(QStringLiteral("an SMTP reply changed its code from %1 to %2")
                            .arg(reply_.code)
                            .arg(code));
        if (reply_.lines.size() >= kMaxLines)
            return fail(QStringLiteral("an SMTP reply had more than %1 lines").arg(kMaxLines));
        reply_.code = code;
        reply_.lines.append(line.size() > 4 ? line.sliced(4).toByteArray() : QByteArray());
        if (separator == ' ') return Step::Done;
    }
}

}  // namespace smtp
