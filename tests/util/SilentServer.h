#pragma once
// A server that accepts connections and never says a word: the peer that makes a client
// wait for a greeting or a reply that never comes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace testutil {

class SilentServer {
public:
    // Listens on the given port of 127.0.0.1, or on a free one when port is 0.
    explicit SilentServer(int port = 0) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        listening = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::listen(listener_, 8) == 0 &&
                    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        this->port = ntohs(address.sin_port);
    }
    ~SilentServer() {
        stopListening();
        for (const int fd : held_) ::close(fd);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    // Waits up to timeoutMs for a client, then stops listening, so that the port is free for
    // a real server, and keeps every accepted connection open and silent. Returns how many
    // connections it holds.
    int HoldClientsAndStopListening(int timeoutMs) {
        pollfd waiting{listener_, POLLIN, 0};
        while (::poll(&waiting, 1, held_.empty() ? timeoutMs : 0) > 0) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) break;
            held_.push_back(client);
        }
        stopListening();
        return static_cast<int>(held_.size());
    }

    bool listening = false;
    int port = 0;

private:
    void stopListening() {
        if (listener_ >= 0) ::close(listener_);
        listener_ = -1;
    }
    int listener_ = -1;
    std::vector<int> held_;
};

}  // namespace testutil
