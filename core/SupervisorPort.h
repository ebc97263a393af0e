#pragma once
// What the supervisor needs of the main window on top of what the check cycle needs:
// showing it, its caption, the polling timer, and waiting for events.

#include "WindowPort.h"

namespace core {

class SupervisorPort : public WindowPort {
public:
    // Show of frmInfo, modeless; the first showing loads the window from SharedState.
    virtual void Show() = 0;
    virtual void SetCaption(const QString& caption) = 0;
    // Enabled and Interval of tmInt.
    virtual void StartTimer(int intervalMs) = 0;
    // Runs the window's events as they come until ms have passed (the polling pause).
    virtual void WaitEvents(int ms) = 0;
    // Runs the window's events, waiting until at least one has come.
    virtual void WaitForEvent() = 0;
    // A fatal start-up error, shown before the window exists.
    virtual void ReportFatal(const QString& text) = 0;
    // Why the last set-up or check failed ("server: answer"), for lblInfo's tooltip and
    // the tray tip's second line; empty once a check went well (the tooltip keeps the
    // last failure, the tray tip drops it).
    virtual void SetFailureReason(const QString& reason) { (void)reason; }
    // Whether awaiting settings tries the set-up again by itself (no one can save).
    virtual bool RetriesSetUp() const { return false; }
};

}  // namespace core
