#include "HeadlessWindow.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>

#include "AppLog.h"
#include "core/SettingsFile.h"

namespace app {

HeadlessWindow::HeadlessWindow(core::SharedState& state, QString settingsPath)
    : state_(state), settingsPath_(std::move(settingsPath)) {
    retry_.setSingleShot(true);
    retry_.setTimerType(Qt::CoarseTimer);
    connect(&tick_, &QTimer::timeout, this, [this] {
        if (++state_.tickCount >= state_.intervalSec) {
            state_.checkDue = core::kTrue;
            state_.tickCount = 0;
        }
    });
    connect(&retry_, &QTimer::timeout, this, [this] { retry(); });
}

void HeadlessWindow::End() {
    qCInfo(lcApp) << "ending on request";
    ended_ = true;
    tick_.stop();
    retry_.stop();
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);  // wakes a waiting loop
}

int RetryDelaySeconds(int intervalSec, int failures) {
    const int base = intervalSec > 0 ? intervalSec : kRetryWithoutSettingsSeconds;
    const int cap = std::max(base, kMaxRetrySeconds);
    qint64 delay = base;
    for (int i = 1; i < failures && delay < cap; ++i) delay *= 2;
    return static_cast<int>(std::min<qint64>(delay, cap));
}

void HeadlessWindow::SetLblInfo(const QString& caption) { qCInfo(lcApp).noquote() << caption; }

void HeadlessWindow::TrayShow(const QString& tip) { qCDebug(lcApp).noquote() << "tray:" << tip; }

void HeadlessWindow::MessageBox(const QString& text, const QString& detail,
                                const QString& informative) {
    // Failures are logged where they happen; this records what the user would have seen.
    QString shown = text;
    for (const QString& more : {informative, detail})
        if (!more.isEmpty()) shown += QStringLiteral(" - ") + more;
    qCInfo(lcApp).noquote() << "message box (OK):" << shown;
}

void HeadlessWindow::DoEvents() { QCoreApplication::processEvents(); }

void HeadlessWindow::SetCaption(const QString& caption) {
    qCInfo(lcApp).noquote() << "setting up:" << caption;
}

void HeadlessWindow::StartTimer(int intervalMs) {
    failures_ = 0;  // the set-up succeeded
    qCInfo(lcApp) << "checking every" << state_.intervalSec << "s";
    tick_.start(intervalMs);
}

void HeadlessWindow::WaitEvents(int) {
    // Without a window only the timers and a signal can bring anything new, and each of
    // them is an event: waking every polling pause would only cost CPU on an idle board.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void HeadlessWindow::WaitForEvent() {
    // Only the supervisor's wait for settings comes here.
    if (!retry_.isActive() && !ended_) {
        tick_.stop();
        ++failures_;
        const int seconds = RetryDelaySeconds(state_.intervalSec, failures_);
        qCInfo(lcApp) << "next set-up attempt in" << seconds << "s";
        retry_.start(seconds * 1000);
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void HeadlessWindow::retry() {
    // The settings are read again, as a save from the window would: an edited file applies.
    if (core::LoadSettings(state_, settingsPath_) == 0) {
        state_.settingsAccepted = core::kTrue;
        return;
    }
    qCWarning(lcApp).noquote() << "no usable settings in" << settingsPath_
                               << "(POP3, USER_NAME and PASSWD are needed)";
}

void HeadlessWindow::ReportFatal(const QString& text) { qCCritical(lcApp).noquote() << text; }

}  // namespace app
