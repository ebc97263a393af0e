#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the user-interface thread.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace app {

// A file descriptor closed when its owner goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    void reset(int fd);

private:
    int fd_;
};

class SignalBridge : public QObject {
public:
    explicit SignalBridge(std::function<void()> onSignal);
    ~SignalBridge() override;

private:
    std::function<void()> onSignal_;
    UniqueFd writeEnd_, readEnd_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
