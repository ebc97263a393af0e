// libFuzzer: any byte stream read as a series of POP3 replies gives the same replies and
// the same failure however the bytes are cut into reads, and never holds a body or a
// line past its bound. The listing and CAPA parsers take the same bytes.

#include <QList>
#include <cstdlib>

#include "mail/pop3/Pop3Capabilities.h"
#include "mail/pop3/Pop3Listing.h"
#include "mail/pop3/Pop3ReplyReader.h"

namespace {

struct Outcome {
    pop3::Pop3ReplyReader::Step step;
    pop3::Pop3ReplyReader::Status status;
    QByteArray text, body;
    net::Error::Kind kind;
    QString error;
    bool operator==(const Outcome& o) const {
        return step == o.step && status == o.status && text == o.text && body == o.body &&
               kind == o.kind && error == o.error;
    }
};

pop3::Pop3Expect expectFor(int reply, std::uint8_t shapes, qint64 maxLine, qint64 maxBody) {
    const bool multi = shapes >> (reply % 4) & 1;
    const bool message = shapes >> (4 + reply % 4) & 1;
    return pop3::Pop3Expect{multi, maxLine, maxBody, message, reply % 3 != 2};
}

QList<Outcome> readAll(QByteArrayView stream, qsizetype chunk, std::uint8_t shapes, qint64 maxLine,
                       qint64 maxBody) {
    QList<Outcome> outcomes;
    pop3::Pop3ReplyReader reader;
    qsizetype fed = 0;
    int reply = 0;
    reader.Begin(expectFor(reply, shapes, maxLine, maxBody));
    for (;;) {
        const auto step = reader.Parse();
        if (reader.bodyBytes() > maxBody) std::abort();
        if (step == pop3::Pop3ReplyReader::Step::NeedMore && fed < stream.size()) {
            const qsizetype n = std::min(chunk, stream.size() - fed);
            reader.Feed(stream.sliced(fed, n));
            fed += n;
            continue;
        }
        Outcome outcome{step, reader.status(), {}, {}, reader.error().kind, reader.error().message};
        if (step == pop3::Pop3ReplyReader::Step::Done) {
            outcome.text = reader.text();
            outcome.body = reader.TakeBody();
            if (outcome.body.size() > maxBody) std::abort();
        }
        outcomes << outcome;
        if (step != pop3::Pop3ReplyReader::Step::Done) return outcomes;
        reader.Begin(expectFor(++reply, shapes, maxLine, maxBody));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t shapes = data[0];
    const qint64 maxLine = 1 + data[1] % 64;
    const qint64 maxBody = data[2] * 8;
    const QByteArrayView stream(reinterpret_cast<const char*>(data) + 3,
                                static_cast<qsizetype>(size - 3));

    const QList<Outcome> whole = readAll(stream, stream.size() + 1, shapes, maxLine, maxBody);
    for (const qsizetype chunk : {1, 2, 7})
        if (readAll(stream, chunk, shapes, maxLine, maxBody) != whole) std::abort();

    (void)pop3::ParseCapabilities(stream.toByteArray());
    for (const QByteArray& line : stream.toByteArray().split('\n')) {
        // An odd UID comes back empty; one that is kept is printable and bounded.
        if (const auto uid = pop3::ParseUidlLine(line); uid) {
            if (uid->number <= 0 || uid->uid.size() > pop3::kMaxUidBytes) std::abort();
            for (const char c : uid->uid)
                if (c < 0x21 || c > 0x7e) std::abort();
        }
        if (const auto listed = pop3::ParseListLine(line); listed && listed->size < 0) std::abort();
    }
    return 0;
}
