// libFuzzer: any byte stream read as a series of SMTP replies gives the same replies and
// the same failure however the bytes are cut into reads, and never holds a line or a
// reply past its bound. The EHLO parser takes every reply read.

#include <QList>
#include <cstdlib>

#include "mail/smtp/SmtpReplyReader.h"
#include "mail/smtp/SmtpSession.h"

namespace {

struct Outcome {
    int code;
    QList<QByteArray> lines;
    QString error;
    bool operator==(const Outcome& o) const {
        return code == o.code && lines == o.lines && error == o.error;
    }
};

QList<Outcome> readAll(QByteArrayView stream, qsizetype chunk) {
    QList<Outcome> outcomes;
    smtp::SmtpReplyReader reader;
    qsizetype fed = 0;
    reader.Begin();
    for (int guard = 0; guard < 100000; ++guard) {
        const auto step = reader.Parse();
        if (step == smtp::SmtpReplyReader::Step::Failed) {
            outcomes.append({0, {}, reader.error().message});
            return outcomes;
        }
        if (step == smtp::SmtpReplyReader::Step::Done) {
            smtp::SmtpReply reply = reader.Take();
            for (const QByteArray& line : reply.lines)
                if (line.size() > smtp::SmtpReplyReader::kMaxLineBytes) std::abort();
            if (reply.lines.size() > smtp::SmtpReplyReader::kMaxLines) std::abort();
            (void)smtp::ParseEhlo(reply);
            outcomes.append({reply.code, reply.lines, {}});
            reader.Begin();
            continue;
        }
        if (fed == stream.size()) return outcomes;
        const qsizetype n = std::min(chunk, stream.size() - fed);
        reader.Feed(stream.sliced(fed, n));
        fed += n;
        if (reader.buffered() > 2 * smtp::SmtpReplyReader::kMaxLineBytes + chunk) std::abort();
    }
    return outcomes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const qsizetype chunk = 1 + data[0] % 61;
    const QByteArrayView stream(reinterpret_cast<const char*>(data) + 1,
                                static_cast<qsizetype>(size - 1));
    if (!(readAll(stream, stream.size() + 1) == readAll(stream, chunk))) std::abort();
    return 0;
}
