#include "Worker.h"

#include <QAbstractEventDispatcher>

namespace mail {

Worker::Worker() {
    thread_.reset(QThread::create([this] { run(); }));
    thread_->setStackSize(kStackBytes);
    thread_->start();
}

Worker::~Worker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_->wait();
    // The thread's last act was to unlock mutex_. QThread::wait() joins through Qt's own
    // futex, which ThreadSanitizer cannot see; taking the lock once more shows it that
    // everything the thread did happens before this object is freed.
    std::lock_guard lock(mutex_);
}

bool Worker::onWorkerThread() const { return QThread::currentThread() == thread_.get(); }

void Worker::enqueue(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void Worker::run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        // Wakes a user-interface thread that may be waiting for this result. A wake-up
        // rather than a posted event: nothing is allocated on one thread and freed on
        // the other, and a wake-up given before that thread sleeps is kept.
        if (QCoreApplication* app = QCoreApplication::instance())
            if (QAbstractEventDispatcher* dispatcher = app->thread()->eventDispatcher())
                dispatcher->wakeUp();
    }
}

void Worker::waitInLoop(const std::function<bool()>& ready) {
    // Every finished task wakes this thread's event loop, so the wait below always ends
    // soon after the result is there; nothing polls.
    while (!ready())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                        QEventLoop::ExcludeUserInputEvents);
}

}  // namespace mail
