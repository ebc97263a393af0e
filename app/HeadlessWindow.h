#pragma once
// The supervisor's window when there is none (--headless): message box texts go to the
// log and count as answered with OK; the polling timer is tmInt's plain equivalent; the
// polling pause lasts until the next event (a tick or a signal), since nothing else can
// change what the supervisor looks at; and "awaiting settings" means reading the settings
// file again after a back-off (INTERVAL, doubled after each failure up to
// kMaxRetrySeconds), since nobody can press 更新.

#include <QObject>
#include <QTimer>

#include "core/SharedState.h"
#include "core/SupervisorPort.h"

namespace app {

inline constexpr int kMaxRetrySeconds = 15 * 60;
inline constexpr int kRetryWithoutSettingsSeconds = 60;

// Seconds before the next set-up attempt after failures consecutive failed ones (1 or more).
int RetryDelaySeconds(int intervalSec, int failures);

class HeadlessWindow : public QObject, public core::SupervisorPort {
public:
    HeadlessWindow(core::SharedState& state, QString settingsPath);

    // Ends the program as a close of the window would (SIGTERM).
    void End();

    bool Visible() const override { return false; }
    void SetLblInfo(const QString& caption) override;
    void SetLblTime(const QString&) override {}
    void TrayShow(const QString& tip) override;
    void MessageBox(const QString& text, const QString& detail = {},
                    const QString& informative = {}) override;
    void DoEvents() override;
    bool Ended() const override { return ended_; }
    void Show() override {}
    void SetCaption(const QString& caption) override;
    void StartTimer(int intervalMs) override;
    void WaitEvents(int ms) override;
    void WaitForEvent() override;
    void ReportFatal(const QString& text) override;
    bool RetriesSetUp() const override { return true; }

private:
    void retry();

    core::SharedState& state_;
    QString settingsPath_;
    QTimer tick_;   // tmInt
    QTimer retry_;  // the next reading of the settings while awaiting them
    int failures_ = 0;
    bool ended_ = false;
};

}  // namespace app
