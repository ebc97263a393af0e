#pragma once
// What every run of the program does before the supervisor starts: find the settings,
// make their folders, open the log, and take the single-instance lock.

#include <memory>

#include "InstanceLock.h"
#include "LogHandler.h"
#include "Options.h"
#include "SettingsLocation.h"

namespace app {

class StartUp {
public:
    enum class Outcome { Ready, Failed, AlreadyRunning };

    // mode names the run in the log ("window", "headless").
    StartUp(const Options& options, const QString& mode);
    ~StartUp();
    StartUp(const StartUp&) = delete;
    StartUp& operator=(const StartUp&) = delete;

    Outcome Result() const { return outcome_; }
    const SettingsLocation& Location() const { return location_; }
    // For the user: why the program cannot run (empty when Ready).
    QString Problem() const { return problem_; }
    // Logs the supervisor's end and hands its exit code back.
    int Finish(int exitCode) const;

private:
    SettingsLocation location_;
    std::unique_ptr<LogHandler> log_;
    std::unique_ptr<InstanceLock> lock_;
    Outcome outcome_ = Outcome::Ready;
    QString problem_;
};

}  // namespace app
