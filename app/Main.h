#pragma once
// The supervisor: start-up, connection set-up, polling and waiting for saved settings.

#include <QString>
#include <cstdint>
#include <functional>

#include "core/Clock.h"
#include "core/SharedState.h"
#include "core/SupervisorPort.h"
#include "mail/ComponentRegistry.h"

namespace app {

inline const QString kCaptionForwarding = QStringLiteral("Tarnpost");
inline const QString kCaptionCheckOnly = QStringLiteral("Tarnpost( Check only )");
inline const QString kSenderDisplayName = QStringLiteral("自動転送");
inline constexpr int kTimerIntervalMs = 1000;
inline constexpr int kPollPauseMs = 100;
// How often a window waiting to retry its set-up looks at the time.
inline constexpr int kRetryLookMs = 1000;

class Main {
public:
    using CheckCycle = std::function<std::int16_t()>;
    // Signs in for the settings' +oauth2 servers; true once every one has its tokens.
    // Empty where no one can sign in (the headless program logs the command instead).
    using SignIn = std::function<bool()>;

    Main(core::SharedState& state, core::SupervisorPort& window,
         const mail::ComponentRegistry& components, QString settingsPath, CheckCycle cycle,
         const core::Clock& clock = core::Clock::System(), SignIn signIn = {});

    // Runs until the window unloads; the program's exit code (1 when start-up failed).
    int Run();

private:
    enum class Next { SetUp, Poll, AwaitSettings, End };

    bool createComponents();
    Next setUpConnections();
    Next poll();
    Next awaitSettings();
    // why: the box's informative text; detail: the server and its answer. retry: a
    // network reason, so the window tries again after a back-off.
    Next failSetUp(const QString& message, const QString& why, const QString& detail, bool retry);
    QString failureDetail(const QString& server, const QString& reason) const;
    void forgetRetry();

    core::SharedState& state_;
    core::SupervisorPort& window_;
    const mail::ComponentRegistry& components_;
    QString settingsPath_;
    CheckCycle cycle_;
    const core::Clock& clock_;
    SignIn signIn_;
    bool signInOffered_ = false;  // in this run of set-up attempts
    int setUpFailures_ = 0;       // in a row, each retried
    QDateTime retryAt_;           // invalid: no retry due, wait for a save
};

}  // namespace app
