#include "MimeBounds.h"

#include <QByteArrayView>
#include <QList>

#include "MimeLimits.h"

namespace mime {
namespace {

bool startsWithBlank(QByteArrayView line) {
    return !line.isEmpty() && (line[0] == ' ' || line[0] == '\t');
}

QByteArrayView withoutNewline(QByteArrayView line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r')) line.chop(1);
    return line;
}

bool isBlank(QByteArrayView line) {
    for (char c : line)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

// The value of a boundary="..." parameter in a Content-Type field, or empty.
QByteArray boundaryOf(const QByteArray& lowerField, const QByteArray& field) {
    if (!lowerField.startsWith("content-type:")) return {};
    const qsizetype at = lowerField.indexOf("boundary=");
    if (at < 0) return {};
    qsizetype start = at + 9;
    qsizetype end;
    if (start < field.size() && field[start] == '"') {
        ++start;
        end = field.indexOf('"', start);
        if (end < 0) end = field.size();
    } else {
        end = start;
        while (end < field.size() && field[end] != ';' && field[end] != ' ' && field[end] != '\t' &&
               field[end] != '\r' && field[end] != '\n')
            ++end;
    }
    return field.mid(start, end - start);
}

// Cuts every run of non-blank bytes longer than the word bound.
QByteArray cutLongWords(QByteArrayView line) {
    QByteArray out;
    out.reserve(line.size());
    qsizetype run = 0;
    for (char c : line) {
        const bool blank = c == ' ' || c == '\t' || c == ';' || c == '\r' || c == '\n';
        run = blank ? 0 : run + 1;
        if (run <= MimeLimits::kMaxHeaderWordBytes) out += c;
    }
    return out;
}

class Scanner {
public:
    explicit Scanner(const QByteArray& raw) : raw_(raw) {}

    BoundedMessage run() {
        qsizetype pos = 0;
        while (pos < raw_.size()) {
            qsizetype end = raw_.indexOf('\n', pos);
            end = end < 0 ? raw_.size() : end + 1;
            line(pos, end);
            pos = end;
        }
        endField();
        BoundedMessage result;
        if (cutAt_ < 0 && !changed_) {
            result.raw = raw_;
        } else {
            keepUpTo(cutAt_ < 0 ? raw_.size() : cutAt_);
            result.raw = out_;
        }
        result.filesPastBound = filesPastBound_;
        return result;
    }

private:
    const QByteArray& raw_;
    QByteArray out_;
    qsizetype copied_ = 0;  // raw_ before this is in out_ (once something changed)
    bool changed_ = false;
    qsizetype cutAt_ = -1;  // where the parts past the bound begin
    bool inHeader_ = true;
    bool blockStart_ = true;
    bool nextBlockIsHeader_ = false;  // an attached message's own header follows
    QList<QByteArray> boundaries_;
    int parts_ = 0;
    QByteArray field_, lowerField_;
    qsizetype fieldBytes_ = 0;
    bool partIsFile_ = false;

    void keepUpTo(qsizetype pos) {
        if (pos > copied_) out_.append(raw_.constData() + copied_, pos - copied_);
        copied_ = std::max(copied_, pos);
    }
    void replace(qsizetype begin, qsizetype end, QByteArrayView with) {
        if (cutAt_ >= 0) return;
        keepUpTo(begin);
        out_.append(with);
        copied_ = end;
        changed_ = true;
    }

    void line(qsizetype begin, qsizetype end) {
        const QByteArrayView text(raw_.constData() + begin, end - begin);
        if (inHeader_) return headerLine(begin, end, text);
        if (text.size() < 3 || text[0] != '-' || text[1] != '-') return;
        const QByteArrayView marker = withoutNewline(text).sliced(2);
        for (const QByteArray& boundary : boundaries_) {
            if (!marker.startsWith(boundary)) continue;
            const QByteArrayView rest = marker.sliced(boundary.size());
            if (rest.startsWith("--")) return;  // the closing marker
            if (!isBlank(rest)) continue;
            if (++parts_ > MimeLimits::kMaxParts && cutAt_ < 0) cutAt_ = begin;
            inHeader_ = blockStart_ = true;
            partIsFile_ = false;
            return;
        }
    }

    void headerLine(qsizetype begin, qsizetype end, QByteArrayView text) {
        const bool blockStart = blockStart_;
        blockStart_ = false;
        if (!isBlank(text) && blockStart && startsWithBlank(text)) {
            // A header that begins with a blank: the blank is a slip, not a fold.
            qsizetype skip = 0;
            while (skip < text.size() && (text[skip] == ' ' || text[skip] == '\t')) ++skip;
            replace(begin, end, text.sliced(skip));
            text = text.sliced(skip);
        } else if (!isBlank(text) && !startsWithBlank(text) && !text.contains(':') &&
                   !(begin == 0 && text.startsWith("From "))) {
            // A line that is no header field ends the header (no blank line was sent):
            // it is the first line of the body, as common mail readers take it.
            replace(begin, end, "\r\n" + text.toByteArray());
            endHeader();
            return;
        }
        if (isBlank(text)) {
            // A "blank" line of spaces ends the header, as common mail readers take it.
            if (!withoutNewline(text).isEmpty()) replace(begin, end, "\r\n");
            return endHeader();
        }
        if (!startsWithBlank(text)) endField();
        const qsizetype room = MimeLimits::kMaxHeaderFieldBytes - fieldBytes_;
        fieldBytes_ += text.size();
        if (field_.size() < 512) field_.append(text.first(std::min<qsizetype>(512, text.size())));
        if (room <= 0) return replace(begin, end, {});
        if (text.size() > room) return replace(begin, end, cutLongWords(text.first(room)) + "\r\n");
        if (text.size() > MimeLimits::kMaxHeaderWordBytes) replace(begin, end, cutLongWords(text));
    }

    void endHeader() {
        endField();
        if (cutAt_ >= 0 && partIsFile_) ++filesPastBound_;
        inHeader_ = blockStart_ = nextBlockIsHeader_;
        nextBlockIsHeader_ = false;
        partIsFile_ = false;
    }

    // What the scan needs of a header field: boundaries, attached messages, files.
    void endField() {
        if (!field_.isEmpty()) {
            lowerField_ = field_.toLower();
            const QByteArray boundary = boundaryOf(lowerField_, field_);
            if (!boundary.isEmpty() && boundaries_.size() < 4 * MimeLimits::kMaxDepth &&
                !boundaries_.contains(boundary))
                boundaries_.append(boundary);
            if (lowerField_.startsWith("content-type:") && lowerField_.contains("message/rfc822"))
                nextBlockIsHeader_ = true;
            if ((lowerField_.startsWith("content-disposition:") &&
                 (lowerField_.contains("attachment") || lowerField_.contains("filename"))) ||
                (lowerField_.startsWith("content-type:") && lowerField_.contains("name=")))
                partIsFile_ = true;
        }
        field_.clear();
        fieldBytes_ = 0;
    }

    int filesPastBound_ = 0;
};

}  // namespace

BoundedMessage BoundForParser(const QByteArray& raw) { return Scanner(raw).run(); }

}  // namespace mime
