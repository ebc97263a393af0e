#include "Main.h"

#include <utility>

#include "AppLog.h"
#include "FailureReason.h"
#include "HeadlessWindow.h"
#include "Texts.h"
#include "core/SettingsFile.h"
#include "mail/net/ServerAddress.h"

namespace app {

using core::kFalse;
using core::kTrue;

Main::Main(core::SharedState& state, core::SupervisorPort& window,
           const mail::ComponentRegistry& components, QString settingsPath, CheckCycle cycle,
           const core::Clock& clock, SignIn signIn)
    : state_(state),
      window_(window),
      components_(components),
      settingsPath_(std::move(settingsPath)),
      cycle_(std::move(cycle)),
      clock_(clock),
      signIn_(std::move(signIn)) {}

int Main::Run() {
    if (!createComponents()) return 1;
    state_.settingsAccepted = kTrue;
    state_.forwardedCount = 0;
    state_.restartRequested = kFalse;

    Next next = Next::AwaitSettings;
    if (core::LoadSettings(state_, settingsPath_) == 0) {
        window_.Show();
        next = Next::SetUp;
    }
    while (next != Next::End) {
        switch (next) {
            case Next::SetUp:
                next = setUpConnections();
                break;
            case Next::Poll:
                next = poll();
                break;
            case Next::AwaitSettings:
                next = awaitSettings();
                break;
            case Next::End:
                break;
        }
        if (window_.Ended()) next = Next::End;
    }
    return 0;
}

namespace {

// The object made from progId, when it is one of the kind the program needs.
template <class Kind>
std::unique_ptr<Kind> createObject(const mail::ComponentRegistry& components, const QString& progId,
                                   QString* error) {
    std::unique_ptr<mail::ComponentObject> object = components.CreateObject(progId, error);
    if (!object) return nullptr;
    if (auto* kind = dynamic_cast<Kind*>(object.get())) {
        object.release();
        return std::unique_ptr<Kind>(kind);
    }
    *error = QStringLiteral("\"%1\" is not the mail object the program expects").arg(progId);
    return nullptr;
}

// The server as the log shows it: its address, without the account of a user:password@.
QString serverForLog(const QString& setting) {
    const auto server = net::ParseServerAddress(setting, net::Protocol::Smtp, nullptr);
    return server ? server->url : net::RedactServerSetting(setting);
}

// A token server that refused for good: only a new sign-in helps.
template <class Object>
bool signInNeeded(const QString& setting, net::Protocol protocol, const Object& object) {
    const auto server = net::ParseServerAddress(setting, protocol, nullptr);
    return server && server->oauth2 && object.LastFailureAuthentication();
}

}  // namespace

bool Main::createComponents() {
    QString error;
    state_.smtp = createObject<mail::SmtpMail>(components_, mail::kSmtpProgId, &error);
    if (state_.smtp)
        state_.pop3 = createObject<mail::Pop3Mail>(components_, mail::kPop3ProgId, &error);
    if (!state_.smtp || !state_.pop3) {
        qCCritical(lcApp).noquote() << "cannot create the mail component:" << error;
        window_.ReportFatal(error);
        return false;
    }
    return true;
}

Main::Next Main::setUpConnections() {
    const bool checkOnly =
        state_.smtpServer.isEmpty() || state_.mailAccount.isEmpty() || state_.forwardTo.isEmpty();
    state_.checkOnly = checkOnly ? kTrue : kFalse;
    // The caption names the mode even when the set-up then fails.
    window_.SetCaption(checkOnly ? kCaptionCheckOnly : kCaptionForwarding);

    const auto failedConnect = [this](const QString& message, const mail::ComponentObject& object,
                                      const QString& server, net::Protocol protocol) {
        const bool authentication = object.LastFailureAuthentication();
        // A token server without a usable sign-in: the window signs in, once, and the
        // set-up starts again.
        const auto address = net::ParseServerAddress(server, protocol, nullptr);
        if (authentication && address && address->oauth2 && signIn_ && !signInOffered_) {
            signInOffered_ = true;
            qCInfo(lcApp).noquote() << "signing in for" << serverForLog(server);
            if (signIn_()) return Next::SetUp;
        }
        return failSetUp(message, SetUpReasonText(object.LastError(), authentication),
                         failureDetail(server, object.LastError()), !authentication);
    };
    if (!checkOnly && !state_.smtp->Connect(state_.smtpServer))
        return failedConnect(QStringLiteral("ＳＭＴＰサーバー接続失敗"), *state_.smtp,
                             state_.smtpServer, net::Protocol::Smtp);
    if (!state_.pop3->Connect(state_.pop3Server, state_.userName, state_.password))
        return failedConnect(QStringLiteral("ＰＯＰ３サーバー接続失敗"), *state_.pop3,
                             state_.pop3Server, net::Protocol::Pop3);
    if (!checkOnly && !state_.smtp->SetSender(state_.mailAccount, kSenderDisplayName))
        return failSetUp(QStringLiteral("送信者設定失敗"), kReasonSenderRefused,
                         failureDetail(state_.smtpServer, state_.smtp->LastError()), false);
    forgetRetry();

    qCInfo(lcApp).noquote() << "connected to" << state_.pop3Server
                            << (checkOnly
                                    ? QStringLiteral("(check only)")
                                    : QStringLiteral("and ") + serverForLog(state_.smtpServer));
    state_.restartRequested = kFalse;
    window_.StartTimer(kTimerIntervalMs);
    state_.tickCount = 0;
    state_.checkDue = kTrue;  // the first check of every polling period runs at once
    return Next::Poll;
}

// A set-up that failed for a network reason (no network yet, a server down for a
// minute) is tried again after a back-off; the box is shown for the first failure only.
// An authentication failure waits for a save: retrying would lock accounts.
Main::Next Main::failSetUp(const QString& message, const QString& why, const QString& detail,
                           bool retry) {
    qCWarning(lcApp).noquote() << "set-up failed:" << message << "-" << detail;
    window_.SetFailureReason(detail);
    retry = retry && !window_.RetriesSetUp();
    if (!retry || setUpFailures_ == 0) window_.MessageBox(message, detail, why);
    if (!retry) {
        forgetRetry();
        return Next::AwaitSettings;
    }
    ++setUpFailures_;
    retryAt_ = clock_.Now().addSecs(RetryDelaySeconds(state_.intervalSec, setUpFailures_));
    qCInfo(lcApp).noquote() << "next set-up attempt at" << retryAt_.toString(Qt::ISODate);
    window_.SetLblInfo(SetUpRetryText(message, retryAt_));
    return Next::AwaitSettings;
}

QString Main::failureDetail(const QString& server, const QString& reason) const {
    return FailureDetail(server, reason, {state_.password, UrlPassword(state_.smtpServer)});
}

void Main::forgetRetry() {
    setUpFailures_ = 0;
    retryAt_ = QDateTime();
    signInOffered_ = false;
}

Main::Next Main::poll() {
    for (;;) {
        if (state_.restartRequested) {
            state_.restartRequested = kFalse;
            return Next::SetUp;
        }
        if (state_.checkDue) {
            if (cycle_() != 0) {
                // Whichever object failed last says why; the other's reason is empty.
                const bool pop3Failed = !state_.pop3->LastError().isEmpty();
                const bool signIn =
                    pop3Failed ? signInNeeded(state_.pop3Server, net::Protocol::Pop3, *state_.pop3)
                               : signInNeeded(state_.smtpServer, net::Protocol::Smtp, *state_.smtp);
                window_.SetLblInfo(signIn ? kSignInAgain
                                          : QStringLiteral("メールチェックに失敗しました"));
                window_.SetFailureReason(failureDetail(
                    pop3Failed ? state_.pop3Server : state_.smtpServer,
                    pop3Failed ? state_.pop3->LastError() : state_.smtp->LastError()));
            } else {
                window_.SetFailureReason({});
            }
            // A backlog goes on at once, one committed check after the other.
            state_.checkDue = std::exchange(state_.moreMailWaiting, kFalse) ? kTrue : kFalse;
        }
        if (window_.Ended()) return Next::End;
        window_.WaitEvents(kPollPauseMs);
        if (window_.Ended()) return Next::End;
    }
}

Main::Next Main::awaitSettings() {
    state_.settingsAccepted = kFalse;
    if (setUpFailures_ <= 1) window_.Show();  // a retry does not bring the window up again
    while (!state_.settingsAccepted) {
        if (window_.Ended()) return Next::End;
        if (!retryAt_.isValid()) {
            window_.WaitForEvent();
        } else if (clock_.Now() >= retryAt_) {
            retryAt_ = QDateTime();
            return Next::SetUp;
        } else {
            window_.WaitEvents(kRetryLookMs);
        }
    }
    forgetRetry();  // a save starts afresh: its set-up's failure is shown again
    return Next::SetUp;
}

}  // namespace app
