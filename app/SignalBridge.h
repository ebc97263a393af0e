#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the user-interface thread.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace app {

class SignalBridge : public QObject {
public:
    explicit SignalBridge(std::function<void()> onSignal);
    ~SignalBridge() override;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
