#include "Pop3Reply.h"

#include <QList>
#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

namespace mail {
namespace {

// A server's text as it may appear in an error message: printable and short.
QString shown(QByteArrayView bytes) {
    QByteArray text = bytes.first(std::min<qsizetype>(bytes.size(), 200)).toByteArray();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return QString::fromUtf8(text).trimmed();
}

QByteArrayView withoutLineEnd(QByteArrayView line) {
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

std::optional<qint64> decimal(QByteArrayView digits, qint64 max) {
    if (digits.isEmpty() || digits.size() > 18) return std::nullopt;
    qint64 value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

QList<QByteArrayView> words(QByteArrayView line) {
    QList<QByteArrayView> result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ' || line[i] == '\t') {
            if (i > start) result << line.sliced(start, i - start);
            start = i + 1;
        }
    }
    return result;
}

}  // namespace

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
    const QByteArrayView line = withoutLineEnd(QByteArrayView(start, length));
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
        return fail(Error::Kind::Failed,
                    QStringLiteral("the server sent no POP3 reply: \"%1\"").arg(shown(line)));
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
                if (!skipping_) {
                    const QByteArrayView kept = partial.first(expect_.maxLineBytes);
                    body_.append(kept.startsWith('.') ? kept.sliced(1) : kept);
                }
                skipping_ = true;
                bodyBytes_ += partial.size();
                pos_ += partial.size();
                if (bodyBytes_ > expect_.maxBodyBytes) break;
            }
            return Step::NeedMore;
        }
        qsizetype length = static_cast<const char*>(end) - start + 1;
        QByteArrayView line(start, length);
        pos_ += length;
        if (skipping_) {  // the end of an over-long listing line
            skipping_ = false;
            bodyBytes_ += length;
            if (bodyBytes_ > expect_.maxBodyBytes) break;
            body_.append("\r\n");
            continue;
        }
        if (line[0] == '.') {
            if (withoutLineEnd(line).size() == 1) {
                inBody_ = false;
                return Step::Done;
            }
            line = line.sliced(1);
        }
        if (!expect_.message && withoutLineEnd(line).size() > expect_.maxLineBytes) {
            bodyBytes_ += line.size();
            if (bodyBytes_ > expect_.maxBodyBytes) break;
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

Pop3Capabilities ParseCapabilities(const QByteArray& capaBody) {
    Pop3Capabilities found;
    for (const QByteArray& line : capaBody.split('\n')) {
        const QList<QByteArrayView> tags = words(withoutLineEnd(line));
        if (tags.isEmpty()) continue;
        const QByteArray tag = tags[0].toByteArray().toUpper();
        if (tag == "PIPELINING") found.pipelining = true;
        if (tag == "STLS") found.stls = true;
        if (tag != "SASL") continue;
        for (const QByteArrayView mechanism : tags.sliced(1)) {
            const QByteArray name = mechanism.toByteArray().toUpper();
            found.saslPlain |= name == "PLAIN";
            found.saslLogin |= name == "LOGIN";
        }
    }
    return found;
}

std::optional<Pop3UidLine> ParseUidlLine(QByteArrayView line) {
    const QList<QByteArrayView> parts = words(withoutLineEnd(line));
    if (parts.isEmpty()) return std::nullopt;
    const auto number = decimal(parts[0], INT_MAX);
    if (!number || *number == 0) return std::nullopt;
    const Pop3UidLine odd{static_cast<int>(*number), QByteArray()};
    if (parts.size() != 2 || parts[1].size() > kMaxUidBytes) return odd;
    for (const char c : parts[1])
        if (c < 0x21 || c > 0x7e) return odd;
    return Pop3UidLine{static_cast<int>(*number), parts[1].toByteArray()};
}

std::optional<Pop3SizeLine> ParseListLine(QByteArrayView line) {
    const QList<QByteArrayView> parts = words(withoutLineEnd(line));
    if (parts.size() < 2) return std::nullopt;  // RFC 1939 allows more after the size
    const auto number = decimal(parts[0], INT_MAX);
    const auto size = decimal(parts[1], std::numeric_limits<qint64>::max() / 4);
    if (!number || *number == 0 || !size) return std::nullopt;
    return Pop3SizeLine{static_cast<int>(*number), *size};
}

}  // namespace mail
