#include "Pop3ReplyReader.h"

#include <cstring>

#include "Pop3Line.h"
#include "mail/net/ServerText.h"

namespace pop3 {

void Pop3ReplyReader::Begin(const Pop3Expect& expect) {
    expect_ = expect;
    inBody_ = false;
    skipping_ = false;
    status_ = Status::Err;
    text_.clear();
    body_.clear();
    bodyBytes_ = 0;
}

void Pop3ReplyReader::Feed(QByteArrayView bytes) {
    if (pos_ > 0) {  // only what is not read yet stays held
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
    buffer_.append(bytes);
}

Pop3ReplyReader::Step Pop3ReplyReader::fail(Error::Kind kind, QString why) {
    error_ = Error{kind, std::move(why)};
    buffer_.clear();
    pos_ = 0;
    return Step::Failed;
}

Pop3ReplyReader::Step Pop3ReplyReader::Parse() {
    if (!error_.message.isEmpty()) return Step::Failed;
    if (!inBody_) {
        const Step step = parseStatus();
        if (step != Step::Done || !inBody_) return step;
    }
    return parseBody();
}

Pop3ReplyReader::Step Pop3ReplyReader::parseStatus() {
    const char* start = buffer_.constData() + pos_;
    const void* end = std::memchr(start, '\n', buffer_.size() - pos_);
    if (!end) {
        if (buffered() > expect_.maxLineBytes + 2)
            return fail(Error::Kind::Failed, QStringLiteral("the server's reply line is too long"));
        return Step::NeedMore;
    }
    const qsizetype length = static_cast<const char*>(end) - start + 1;
    const QByteArrayView line = WithoutLineEnd(QByteArrayView(start, length));
    pos_ += length;
    if (line.size() > expect_.maxLineBytes)
        return fail(Error::Kind::Failed, QStringLiteral("the server's reply line is too long"));

    auto isWord = [&](QByteArrayView word) {
        return line.startsWith(word) && (line.size() == word.size() || line[word.size()] == ' ');
    };
    auto rest = [&](qsizetype word) {
        return line.size() > word ? line.sliced(word + 1).toByteArray() : QByteArray();
    };
    if (isWord("+OK")) {
        status_ = Status::Ok;
        text_ = rest(3);
        inBody_ = expect_.multiLine;
    } else if (isWord("-ERR")) {
        status_ = Status::Err;
        text_ = rest(4);
    } else if (!expect_.multiLine && isWord("+")) {
        status_ = Status::Challenge;
        text_ = rest(1);
    } else {
        return fail(Error::Kind::Failed, QStringLiteral("the server sent no POP3 reply: \"%1\"")
                                             .arg(net::ShortServerText(line)));
    }
    return Step::Done;
}

Pop3ReplyReader::Step Pop3ReplyReader::parseBody() {
    for (;;) {
        const char* start = buffer_.constData() + pos_;
        const void* end = std::memchr(start, '\n', buffer_.size() - pos_);
        if (!end) {
            // Once complete, a partial line adds at least its length (its line end makes
            // up for a stuffed dot), unless it is still the start of the terminator.
            const QByteArrayView partial(start, buffered());
            const bool terminatorSoFar = partial == "." || partial == ".\r";
            if (expect_.message) {
                if (!terminatorSoFar && bodyBytes_ + partial.size() > expect_.maxBodyBytes) break;
            } else if (skipping_ || partial.size() > expect_.maxLineBytes + 2) {
                // A listing line past the bound: its start is kept (it reads as an odd
                // entry), the rest is counted against the body's bound and dropped.
                // Unstuffed first, as a whole line is, so that where the bytes were cut
                // into reads changes nothing.
                const QByteArrayView unstuffed =
                    !skipping_ && partial.startsWith('.') ? partial.sliced(1) : partial;
                if (bodyBytes_ + unstuffed.size() > expect_.maxBodyBytes) break;
                if (!skipping_) body_.append(unstuffed.first(expect_.maxLineBytes));
                skipping_ = true;
                bodyBytes_ += unstuffed.size();
                pos_ += partial.size();
            }
            return Step::NeedMore;
        }
        qsizetype length = static_cast<const char*>(end) - start + 1;
        QByteArrayView line(start, length);
        pos_ += length;
        if (skipping_) {  // the end of an over-long listing line
            skipping_ = false;
            if (bodyBytes_ + length > expect_.maxBodyBytes) break;
            bodyBytes_ += length;
            body_.append("\r\n");
            continue;
        }
        if (line[0] == '.') {
            if (WithoutLineEnd(line).size() == 1) {
                inBody_ = false;
                return Step::Done;
            }
            line = line.sliced(1);
        }
        if (!expect_.message && WithoutLineEnd(line).size() > expect_.maxLineBytes) {
            if (bodyBytes_ + line.size() > expect_.maxBodyBytes) break;
            bodyBytes_ += line.size();
            body_.append(line.first(expect_.maxLineBytes));
            body_.append("\r\n");
            continue;
        }
        if (bodyBytes_ + line.size() > expect_.maxBodyBytes) break;
        bodyBytes_ += line.size();
        if (expect_.keepBody) body_.append(line);
    }
    if (expect_.message)
        return fail(
            Error::Kind::TooLarge,
            QStringLiteral("the message is larger than %1 bytes").arg(expect_.maxBodyBytes));
    return fail(Error::Kind::Failed, QStringLiteral("the server's listing is too long"));
}

}  // namespace pop3
