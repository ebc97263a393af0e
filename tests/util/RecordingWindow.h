#pragma once
// A window double for the cycle and the supervisor: records what they show, and runs a
// scripted action whenever they let events run.

#include <QStringList>
#include <functional>

#include "core/SupervisorPort.h"

namespace testutil {

class RecordingWindow : public core::SupervisorPort {
public:
    bool visible = true;
    bool ended = false;
    QString lblInfo, lblTime, caption;
    QStringList tips, messages, events;
    QStringList informative, failureReasons;  // each box's informative text; each reason set
    int shows = 0, timerMs = 0, waits = 0;
    // Runs at every DoEvents, WaitEvents and WaitForEvent, with the running count.
    std::function<void(int)> onEvents;
    // Runs while a message box is open, as a person or the ending program would.
    std::function<void()> whileBoxOpen;

    bool Visible() const override { return visible; }
    void SetLblInfo(const QString& c) override { lblInfo = c; }
    void SetLblTime(const QString& c) override { lblTime = c; }
    void TrayShow(const QString& tip) override { tips << tip; }
    void MessageBox(const QString& text, const QString& = {}, const QString& why = {}) override {
        messages << text;
        informative << why;
        events << QStringLiteral("box:") + text;
        if (whileBoxOpen) whileBoxOpen();
    }
    void DoEvents() override { runEvents(); }
    bool Ended() const override { return ended; }
    void Show() override {
        ++shows;
        events << QStringLiteral("show");
    }
    void SetCaption(const QString& c) override {
        caption = c;
        events << QStringLiteral("caption:") + c;
    }
    void StartTimer(int ms) override { timerMs = ms; }
    void WaitEvents(int) override { runEvents(); }
    void WaitForEvent() override { runEvents(); }
    void SetFailureReason(const QString& reason) override { failureReasons << reason; }
    void ReportFatal(const QString& text) override { messages << QStringLiteral("fatal:") + text; }

private:
    void runEvents() {
        ++waits;
        if (onEvents) onEvents(waits);
        // A script that forgets to end the run must not spin forever.
        if (waits > 10000) ended = true;
    }
};

}  // namespace testutil
