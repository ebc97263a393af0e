#include "HtmlText.h"

#include <libxml/HTMLparser.h>

#include <QRegularExpression>
#include <QSet>
#include <memory>

namespace mime {
namespace {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// Nesting beyond this is not walked; hostile mail must not exhaust the stack.
constexpr int kMaxDepth = 256;

const QSet<QByteArray>& blockElements() {
    static const QSet<QByteArray> names = {
        "p",       "div",    "tr",         "li",     "h1",   "h2",      "h3",
        "h4",      "h5",     "h6",         "table",  "ul",   "ol",      "dl",
        "dt",      "dd",     "blockquote", "pre",    "hr",   "address", "section",
        "article", "header", "footer",     "center", "form", "tbody",   "thead"};
    return names;
}

class TextWalker {
public:
    QString text;

    void walk(xmlNode* node, int depth, bool preformatted) {
        for (; node; node = node->next) {
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                addText(QString::fromUtf8(reinterpret_cast<const char*>(node->content)),
                        preformatted);
                continue;
            }
            if (node->type != XML_ELEMENT_NODE) continue;
            const QByteArray name = QByteArray(reinterpret_cast<const char*>(node->name)).toLower();
            if (name == "script" || name == "style" || name == "head" || name == "title") continue;
            if (name == "br") {
                text += u'\n';
                continue;
            }
            const bool block = blockElements().contains(name);
            if (block) breakLine();
            if (name == "td" || name == "th") addSeparator();
            if (depth < kMaxDepth) walk(node->children, depth + 1, preformatted || name == "pre");
            if (block) breakLine();
        }
    }

private:
    void addText(QString piece, bool preformatted) {
        if (!preformatted) {
            piece.replace(QRegularExpression(QStringLiteral("[ \\t\\r\\n\\f]+")),
                          QStringLiteral(" "));
            if (text.isEmpty() || text.endsWith(u'\n') || text.endsWith(u' '))
                while (piece.startsWith(u' ')) piece.remove(0, 1);
        }
        text += piece;
    }
    void breakLine() {
        while (text.endsWith(u' ')) text.chop(1);
        if (!text.isEmpty() && !text.endsWith(u'\n')) text += u'\n';
    }
    void addSeparator() {
        if (!text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u' ')) text += u' ';
    }
};

}  // namespace

QString HtmlToText(const QString& html) {
    const QByteArray utf8 = html.toUtf8();
    std::unique_ptr<xmlDoc, DocFree> doc(htmlReadMemory(
        utf8.constData(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
    if (!doc) return html;
    TextWalker walker;
    walker.walk(xmlDocGetRootElement(doc.get()), 0, false);
    QString text = walker.text;
    // Trailing blanks of each line go, and so do runs of more than one empty line.
    text.replace(QRegularExpression(QStringLiteral(" +\\n")), QStringLiteral("\n"));
    text.replace(QRegularExpression(QStringLiteral("\\n{3,}")), QStringLiteral("\n\n"));
    return text.trimmed();
}

}  // namespace mime
