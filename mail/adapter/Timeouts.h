#pragma once
// Every network operation ends within these bounds: a server that accepts and then says
// nothing makes the member fail instead of hanging.

namespace mail {

struct Timeouts {
    long connectSeconds = 30;  // TCP and TLS set-up
    long idleSeconds = 60;     // no byte and no reply for this long ends the transfer
};

}  // namespace mail
