#pragma once
// One long-lived thread that runs an object's blocking work, one task at a time, in the
// order given. A caller on the user-interface thread waits in a local event loop that
// takes no user input: the window keeps repainting, but no click or key reaches a
// handler in the middle of a member call. Tasks run on a stack of a known size, since
// reading a hostile message can recurse deeply inside the MIME library.

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <type_traits>

namespace mail {

class Worker {
public:
    static constexpr std::size_t kStackBytes = 16 * 1024 * 1024;

    Worker();
    // Runs what was already posted, then ends the thread.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues work; its result arrives through the future.
    template <class Work>
    auto Post(Work work) -> std::future<std::invoke_result_t<Work>> {
        using Result = std::invoke_result_t<Work>;
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(work));
        std::future<Result> future = task->get_future();
        enqueue([task] { (*task)(); });
        return future;
    }

    // Runs work on the worker and waits for its result (see the top of this file).
    template <class Work>
    auto Run(Work work) -> std::invoke_result_t<Work> {
        if (onWorkerThread()) return work();
        return Wait(Post(std::move(work)));
    }

    template <class T>
    static T Wait(std::future<T> future) {
        WaitReady(future);
        return future.get();
    }
    template <class T>
    static void WaitReady(const std::future<T>& future) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread() ||
            future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            future.wait();
            return;
        }
        waitInLoop(
            [&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    }

private:
    void enqueue(std::function<void()> task);
    bool onWorkerThread() const;
    static void waitInLoop(const std::function<bool()>& ready);
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::unique_ptr<QThread> thread_;
};

}  // namespace mail
