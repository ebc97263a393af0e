#include "SignalBridge.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <csignal>

namespace app {
namespace {

// The handler may only write to a descriptor; the notifier reads it on the UI thread.
std::atomic<int> signalWriteFd{-1};

void onUnixSignal(int) {
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalWriteFd.load(), &byte, 1);
}

}  // namespace

UniqueFd::~UniqueFd() { reset(-1); }

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

SignalBridge::SignalBridge(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
    writeEnd_.reset(pair[0]);
    readEnd_.reset(pair[1]);
    signalWriteFd = writeEnd_.get();
    notifier_ = new QSocketNotifier(readEnd_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] auto got = ::read(readEnd_.get(), &byte, 1);
        onSignal_();
    });
    struct sigaction action {};
    action.sa_handler = onUnixSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);  // the session or terminal ending
}

SignalBridge::~SignalBridge() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    signalWriteFd = -1;
    delete notifier_;  // before the descriptor it watches closes
    notifier_ = nullptr;
}

}  // namespace app
