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

// Sets up GMime and libxml2, once however often it is called. The first call must come
// from the main thread before messages are read or built on other threads
// (mail::InitMailLibraries makes it); ReadMessage calls it too, for a single thread.
void InitMessageLibrary();

}  // namespace mime
