#pragma once
// A retrieved message as the check cycle reads it.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>

namespace mime {

struct ReadMail {
    QString body;                  // the text a person would read, lines ending in CR LF
    QString displayName, address;  // of the first From mailbox; empty when unreadable
    // "yyyy/MM/dd HH:mm:ss +hhmm": the time as the sender wrote it and its offset.
    QString dateText;
    QString subject;
    std::int32_t attachCount = 0;
};

// Never fails: what cannot be read is left empty, a missing or unreadable Date gives
// the time of retrieval in local time.
ReadMail ReadMessage(const QByteArray& raw, const QDateTime& retrievedAt);

// Call once on the main thread before any message is read or built.
void InitMessageLibrary();

}  // namespace mime
