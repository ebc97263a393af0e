#pragma once
// Every network operation ends within these bounds, the same for POP3 and SMTP: a server
// that accepts and then says nothing, or drips a byte now and then, makes the member
// fail instead of hanging.

namespace net {

struct Timeouts {
    long connectSeconds = 30;  // TCP and TLS set-up
    long idleSeconds = 60;     // no byte in either direction for this long ends the transfer
    // A transfer of N bytes ends within 2 × idleSeconds + N / minBytesPerSecond.
    long minBytesPerSecond = 64 * 1024;
    // A whole check (one POP3 session) ends within this, whatever the server does.
    long checkCeilingSeconds = 30 * 60;

    // What the rule above allows a transfer of this many bytes, in milliseconds.
    long long TransferMs(long long bytes) const {
        return (2LL * idleSeconds + bytes / (minBytesPerSecond > 0 ? minBytesPerSecond : 1)) * 1000;
    }
};

}  // namespace net
