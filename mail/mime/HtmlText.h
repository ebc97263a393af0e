#pragma once
// An HTML body as a person would read it in plain text.

#include <QString>

namespace mime {

// Tags dropped, entities decoded, script and style left out, block elements and <br>
// as line breaks, runs of blanks folded as a browser folds them.
QString HtmlToText(const QString& html);

}  // namespace mime
