#pragma once
// Matching a sender address against the two filter lists. Comparisons are exact:
// whole text, case-sensitive, code unit by code unit.

#include <QString>
#include <QStringList>

namespace core {

// An entry of the reject list matches only the whole address, "@domain" entries too.
bool IsRefused(const QStringList& rejectList, const QString& senderAddress);

// An entry of the full-text list matches the whole address; an entry that begins with
// "@" also matches the address's text from its first "@" to its end. An address
// without "@" never matches a domain entry.
bool IsFullText(const QStringList& fullTextList, const QString& senderAddress);

}  // namespace core
