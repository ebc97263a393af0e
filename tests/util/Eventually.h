#pragma once
// Waiting in tests for something another process does.

#include <QElapsedTimer>
#include <QThread>

namespace testutil {

// Waits until check() holds, for at most the given time however long one check takes.
template <class Check>
bool Eventually(Check check, int seconds = 30) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        if (check()) return true;
        QThread::msleep(5);
    }
    return check();
}

}  // namespace testutil
