#pragma once
// Runs a blocking network transfer on a worker thread while the user-interface thread
// waits in a local event loop that takes no user input: the window keeps repainting,
// but no click or key reaches a handler in the middle of a member call.

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <optional>
#include <thread>
#include <type_traits>

namespace mail {

template <class Work>
auto RunBlocking(Work&& work) -> std::invoke_result_t<Work> {
    using Result = std::invoke_result_t<Work>;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return work();

    std::optional<Result> result;
    QEventLoop loop;
    std::thread worker([&] {
        result.emplace(work());
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return std::move(*result);
}

}  // namespace mail
