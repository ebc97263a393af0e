#pragma once
// A TCP relay in front of the real POP3 server that changes what the server says: it
// rewrites or drops whole reply lines (to hide CAPA entries such as PIPELINING or STLS),
// and after a given command (the first RETR unless told) it can cut the server's bytes after k of
// them, closing the connection, going silent or passing on a byte now and then, as a dropped line,
// a hung server or a failing one would. One connection at a time, on its own thread; every wait is
// bounded by the relay's end.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QHash>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace testutil {

class Pop3Relay {
public:
    struct Rules {
        QHash<QByteArray, QByteArray> lines;  // server line (no line end) -> replacement; "" drops
        qint64 cutAfterBytes = -1;            // server bytes passed on after the first cutAfter
        enum class AtCut { Close, Silent, Drip } atCut = AtCut::Close;  // Drip: a byte a while
        QByteArray cutAfter = "RETR ";  // the client's command that starts the count
        // Holds the server's bytes for a while after the first RETR, counting the RETRs
        // the client sends meanwhile: how many it keeps in flight.
        bool countRetrsInFlight = false;
        bool cutFirstConnectionOnly = false;  // later connections pass unchanged
    };

    Pop3Relay(int target, Rules rules) : target_(target), rules_(std::move(rules)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~Pop3Relay() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    Pop3Relay(const Pop3Relay&) = delete;
    Pop3Relay& operator=(const Pop3Relay&) = delete;

    int port = 0;
    int connections() const { return connections_; }
    // Every byte the client sent, over every connection, as it crossed the relay.
    QByteArray clientBytes() const {
        std::lock_guard lock(mutex_);
        return clientBytes_;
    }
    int retrsInFlight() const { return retrsInFlight_; }

private:
    static sockaddr_in loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    static bool sendAll(int fd, const QByteArray& bytes) {
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t n =
                ::send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += n;
        }
        return true;
    }

    // A socket closed with unread bytes sends a reset, and the reset throws away what the
    // client has not read yet: end the sending side, then read what is still in flight.
    void closeAfterSent(int client) {
        ::shutdown(client, SHUT_WR);
        char drained[4096];
        for (int slice = 0; slice < 40 && !stop_; ++slice) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 50) <= 0) continue;
            if (::recv(client, drained, sizeof drained, 0) <= 0) return;
        }
    }

    void run() {
        while (!stop_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            ++connections_;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in address = loopback(target_);
            if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
                relay(client, server);
            ::close(server);
            ::close(client);
        }
    }

    void relay(int client, int server) {
        QByteArray pending;   // server bytes up to the next line end
        QByteArray dripping;  // server bytes held back after the cut, passed on a byte a time
        bool retrSeen = false, counting = false, silent = false, cut = false;
        qint64 passed = 0;
        auto nextDrip = std::chrono::steady_clock::now();
        char chunk[65536];
        std::chrono::steady_clock::time_point firstRetr;
        while (!stop_) {
            const bool holding = rules_.countRetrsInFlight && retrSeen &&
                                 std::chrono::steady_clock::now() - firstRetr < kHold;
            pollfd fds[2] = {{client, POLLIN, 0},
                             {server, short(silent || holding ? 0 : POLLIN), 0}};
            if (cut && !silent && !dripping.isEmpty() &&
                std::chrono::steady_clock::now() >= nextDrip) {
                if (!sendAll(client, dripping.left(1))) return;
                dripping.remove(0, 1);
                nextDrip += kDrip;
            }
            if (::poll(fds, 2, 50) <= 0) continue;
            if (fds[0].revents) {
                const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
                if (n <= 0) return;
                {
                    std::lock_guard lock(mutex_);
                    clientBytes_.append(chunk, n);
                }
                const int retrs = static_cast<int>(QByteArray(chunk, n).count("RETR "));
                counting = counting || (QByteArray(chunk, n).contains(rules_.cutAfter) &&
                                        (!rules_.cutFirstConnectionOnly || connections_ == 1));
                if (!retrSeen && retrs > 0) {
                    retrSeen = true;
                    firstRetr = std::chrono::steady_clock::now();
                    retrsInFlight_ += retrs;
                } else if (holding) {
                    retrsInFlight_ += retrs;
                }
                if (!silent && !sendAll(server, QByteArray(chunk, n))) return;
            }
            if (!fds[1].revents) continue;
            const ssize_t n = ::recv(server, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            pending.append(chunk, n);
            QByteArray out;
            for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
                QByteArray line = pending.left(end + 1);
                pending.remove(0, end + 1);
                const QByteArray bare = line.trimmed();
                if (rules_.lines.contains(bare))
                    line =
                        rules_.lines[bare].isEmpty() ? QByteArray() : rules_.lines[bare] + "\r\n";
                out += line;
            }
            if (cut) {
                dripping += out;
                continue;
            }
            if (counting && rules_.cutAfterBytes >= 0 &&
                passed + out.size() >= rules_.cutAfterBytes) {
                sendAll(client, out.left(rules_.cutAfterBytes - passed));
                if (rules_.atCut == Rules::AtCut::Close) return closeAfterSent(client);
                cut = true;
                silent = rules_.atCut == Rules::AtCut::Silent;
                dripping = out.mid(rules_.cutAfterBytes - passed);
                nextDrip = std::chrono::steady_clock::now();
                continue;
            }
            if (counting) passed += out.size();
            if (!sendAll(client, out)) return;
        }
    }

    static constexpr std::chrono::milliseconds kHold{300}, kDrip{400};
    int target_;
    Rules rules_;
    std::atomic<int> retrsInFlight_{0};
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    QByteArray clientBytes_;
    std::thread thread_;
};

}  // namespace testutil
