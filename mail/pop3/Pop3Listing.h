#pragma once
// The lines of a server's UIDL and LIST replies, and the listing the session makes of
// them.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace pop3 {

// One message of the mailbox: its number in this session, its UID (empty when the
// server gave none that can be used) and its size as listed.
struct Pop3Listed {
    int number;
    QByteArray uid;
    qint64 size;
};

// One line of a UIDL ("n uid") or LIST ("n size") listing, line end included; empty
// when the line is not one. A UIDL line whose UID is odd (bytes outside 0x21-0x7E, a
// blank, none, or longer than kMaxUidBytes) gives its number with an empty UID.
constexpr qsizetype kMaxUidBytes = 1000;  // RFC 1939 allows 70; servers exceed it
struct Pop3UidLine {
    int number;
    QByteArray uid;
};
std::optional<Pop3UidLine> ParseUidlLine(QByteArrayView line);
struct Pop3SizeLine {
    int number;
    qint64 size;
};
std::optional<Pop3SizeLine> ParseListLine(QByteArrayView line);

}  // namespace pop3
