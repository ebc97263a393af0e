#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "../util/FakeComponent.h"
#include "../util/QtPrinters.h"
#include "../util/RecordingWindow.h"
#include "app/Main.h"
#include "core/SettingsFile.h"

using namespace testutil;

namespace {

const QByteArray kCheckOnly = "POP3,pop\r\nUSER_NAME,u\r\nPASSWD,p\r\n";
const QByteArray kForwarding = kCheckOnly + "SMTP,smtp\r\nMAILACC,me@x.jp\r\nTRANS,to@x.jp\r\n";

// "Now", moved on by the test.
class SteppingClock : public core::Clock {
public:
    QDateTime now{QDate(2026, 12, 8), QTime(9, 0)};
    QDateTime Now() const override { return now; }
};

class MainTest : public ::testing::Test {
protected:
    SteppingClock clock;
    QTemporaryDir dir;
    QString path = dir.filePath("Tarnpost.ini");
    core::SharedState state;
    RecordingWindow window;
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    FakeSmtp* smtp = nullptr;
    FakePop3* pop3 = nullptr;
    mail::ComponentRegistry registry;
    int cycles = 0;
    std::int16_t cycleResult = 0;
    int backlogChecks = 0;  // checks that stop with mail still waiting

    MainTest() {
        registry.Register(mail::kSmtpProgId, [this] {
            auto object = std::make_unique<FakeSmtp>(log);
            smtp = object.get();
            return object;
        });
        registry.Register(mail::kPop3ProgId, [this] {
            auto object = std::make_unique<FakePop3>(log);
            pop3 = object.get();
            return object;
        });
    }

    void writeSettings(const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Simulates the save command: new file, reload, both flags.
    void save(const QByteArray& bytes) {
        writeSettings(bytes);
        core::LoadSettings(state, path);
        state.settingsAccepted = core::kTrue;
        state.restartRequested = core::kTrue;
    }

    app::Main::SignIn signIn;

    int run() {
        app::Main supervisor(
            state, window, registry, path,
            [this] {
                ++cycles;
                log->calls << "cycle";
                if (backlogChecks-- > 0) state.moreMailWaiting = core::kTrue;
                return cycleResult;
            },
            clock, signIn);
        return supervisor.Run();
    }
};

TEST_F(MainTest, NoSettingsFileShowsTheWindowAndWaitsWithoutConnecting) {
    window.onEvents = [&](int n) {
        if (n == 50) window.ended = true;
    };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(window.shows, 1);
    EXPECT_TRUE(window.messages.isEmpty());
    EXPECT_TRUE(log->calls.isEmpty()) << log->calls.join(",").toStdString();
    EXPECT_EQ(state.settingsAccepted, core::kFalse);
    EXPECT_EQ(window.timerMs, 0) << "the timer starts only with polling";
}

TEST_F(MainTest, CheckOnlySettingsConnectOnlyPop3AndCheckAtOnce) {
    writeSettings(kCheckOnly);
    window.onEvents = [&](int) { window.ended = true; };
    run();
    EXPECT_EQ(window.caption, "Tarnpost( Check only )");
    EXPECT_EQ(log->calls, (QStringList{"pop3.Connect", "cycle"}));
    EXPECT_EQ(state.checkOnly, core::kTrue);
    EXPECT_EQ(window.timerMs, 1000);
    EXPECT_EQ(state.checkDue, core::kFalse);
    EXPECT_EQ(pop3->server, "pop");
    EXPECT_EQ(pop3->user, "u");
    EXPECT_EQ(pop3->password, "p");
}

TEST_F(MainTest, ForwardingSetUpConnectsInOrderAndSetsTheSender) {
    writeSettings(kForwarding);
    window.onEvents = [&](int) { window.ended = true; };
    run();
    EXPECT_EQ(window.caption, "Tarnpost");
    EXPECT_EQ(state.checkOnly, core::kFalse);
    EXPECT_EQ(log->calls, (QStringList{"smtp.Connect", "pop3.Connect", "smtp.SetSender", "cycle"}));
    EXPECT_EQ(smtp->connectedTo, "smtp");
    EXPECT_EQ(smtp->sender, "me@x.jp");
    EXPECT_EQ(smtp->senderName, "自動転送");
}

struct FailCase {
    const char* name;
    int failingStep;  // 0 smtp Connect, 1 pop3 Connect, 2 SetSender
    const char* message;
    QStringList calls;
};

class SetUpFailure : public MainTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(SetUpFailure, StopsAtTheFirstFailingStepAndWaitsForSettings) {
    writeSettings(kForwarding);
    registry.Register(mail::kSmtpProgId, [this] {
        auto object = std::make_unique<FakeSmtp>(log);
        object->connectResult = GetParam().failingStep != 0;
        object->senderResult = GetParam().failingStep != 2;
        smtp = object.get();
        return object;
    });
    registry.Register(mail::kPop3ProgId, [this] {
        auto object = std::make_unique<FakePop3>(log);
        object->connectResult = GetParam().failingStep != 1;
        pop3 = object.get();
        return object;
    });
    window.onEvents = [&](int n) {
        if (n == 5) window.ended = true;
    };
    run();
    EXPECT_EQ(window.messages, QStringList{QString::fromUtf8(GetParam().message)});
    EXPECT_EQ(log->calls, GetParam().calls);
    EXPECT_EQ(window.events.first(), "show");
    EXPECT_EQ(window.events[1], "caption:Tarnpost") << "the caption comes before any connection";
    EXPECT_EQ(window.shows, 2) << "Awaiting settings shows the window again";
    EXPECT_EQ(state.settingsAccepted, core::kFalse);
    EXPECT_EQ(cycles, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SetUpFailure,
    ::testing::Values(
        FailCase{"smtp", 0, "ＳＭＴＰサーバー接続失敗", {"smtp.Connect"}},
        FailCase{"pop3", 1, "ＰＯＰ３サーバー接続失敗", {"smtp.Connect", "pop3.Connect"}},
        FailCase{
            "sender", 2, "送信者設定失敗", {"smtp.Connect", "pop3.Connect", "smtp.SetSender"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct RetryCase {
    const char* name;
    bool authentication;
    int connects;  // in 400 s: at 0, then after INTERVAL (30 s), doubled each time
};

class SetUpRetry : public MainTest, public ::testing::WithParamInterface<RetryCase> {};

// A network failure is tried again with a back-off and its box shown once; a refused
// log-in waits for a save.
TEST_P(SetUpRetry, ANetworkFailureIsTriedAgain) {
    writeSettings(kCheckOnly + "INTERVAL,30\r\n");
    registry.Register(mail::kPop3ProgId, [this] {
        auto object = std::make_unique<FakePop3>(log);
        object->connectResult = false;
        object->authenticationFailure = GetParam().authentication;
        pop3 = object.get();
        return object;
    });
    window.onEvents = [&](int n) {
        clock.now = clock.now.addSecs(20);
        if (n == 20) window.ended = true;
    };
    run();
    EXPECT_EQ(log->count("pop3.Connect"), GetParam().connects);
    EXPECT_EQ(window.messages, QStringList{"ＰＯＰ３サーバー接続失敗"});
    EXPECT_EQ(window.lblInfo.contains("再試行"), !GetParam().authentication)
        << window.lblInfo.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Reasons, SetUpRetry,
                         ::testing::Values(RetryCase{"network", false, 4},
                                           RetryCase{"authentication", true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReasonCase {
    const char* name;
    bool authentication;
    const char* error;  // as the POP3 object reports it
    const char* why;    // the box's informative text
};

class SetUpReason : public MainTest, public ::testing::WithParamInterface<ReasonCase> {};

// The box keeps its text and says why below it; the status line's tooltip gets the
// server and its answer, without the password.
TEST_P(SetUpReason, TheBoxSaysWhyAndTheTooltipWhatTheServerSaid) {
    writeSettings("POP3,pop.example.jp\r\nUSER_NAME,u\r\nPASSWD,hunter2\r\n");
    registry.Register(mail::kPop3ProgId, [this] {
        auto object = std::make_unique<FakePop3>(log);
        object->connectResult = false;
        object->authenticationFailure = GetParam().authentication;
        object->error = QString::fromUtf8(GetParam().error);
        pop3 = object.get();
        return object;
    });
    window.onEvents = [&](int n) {
        if (n == 2) window.ended = true;
    };
    run();
    EXPECT_EQ(window.messages, QStringList{"ＰＯＰ３サーバー接続失敗"});
    EXPECT_EQ(window.informative, QStringList{QString::fromUtf8(GetParam().why)});
    ASSERT_FALSE(window.failureReasons.isEmpty());
    const QString reason = window.failureReasons.last();
    EXPECT_TRUE(reason.startsWith("pop.example.jp: ")) << reason.toStdString();
    EXPECT_FALSE(reason.contains("hunter2")) << reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, SetUpReason,
    ::testing::Values(
        ReasonCase{"authentication", true, "the server refused PASS hunter2: -ERR [AUTH] failed",
                   "認証に失敗しました"},
        ReasonCase{"unknownHost", false, "no POP3 connection to pop.example.jp:995: Host not found",
                   "サーバーが見つかりません"},
        ReasonCase{"certificate", false,
                   "no TLS connection to pop.example.jp:995: The certificate is self-signed, and "
                   "untrusted",
                   "証明書を確認できません"},
        ReasonCase{"refused", false, "no POP3 connection to pop.example.jp:995: Connection refused",
                   "接続できません"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainTest, EachSaveInAwaitingSettingsStartsExactlyOneSetUp) {
    writeSettings(kCheckOnly);
    registry.Register(mail::kPop3ProgId, [this] {
        auto object = std::make_unique<FakePop3>(log);
        object->connectResult = false;
        pop3 = object.get();
        return object;
    });
    window.onEvents = [&](int n) {
        if (n == 3 || n == 6) save(kCheckOnly);
        if (n == 9) window.ended = true;
    };
    run();
    EXPECT_EQ(log->count("pop3.Connect"), 3);
    EXPECT_EQ(window.messages.size(), 3);
    EXPECT_EQ(window.messages.last(), "ＰＯＰ３サーバー接続失敗");
}

TEST_F(MainTest, SaveWhilePollingSetsUpAgainWithTheNewModeAndChecksAtOnce) {
    writeSettings(kCheckOnly);
    window.onEvents = [&](int n) {
        if (n == 3) save(kForwarding);
        if (n == 6) window.ended = true;
    };
    run();
    EXPECT_EQ(log->calls, (QStringList{"pop3.Connect", "cycle", "smtp.Connect", "pop3.Connect",
                                       "smtp.SetSender", "cycle"}));
    EXPECT_EQ(window.caption, "Tarnpost");
    EXPECT_EQ(state.restartRequested, core::kFalse);
}

TEST_F(MainTest, TimerRaisedChecksRunOncePerDueFlag) {
    writeSettings(kCheckOnly);
    window.onEvents = [&](int n) {
        if (n == 2 || n == 5) state.checkDue = core::kTrue;
        if (n == 8) window.ended = true;
    };
    run();
    EXPECT_EQ(cycles, 3);
}

TEST_F(MainTest, ACheckThatLeftMailWaitingIsFollowedAtOnce) {
    writeSettings(kCheckOnly);
    backlogChecks = 2;
    window.onEvents = [&](int n) {
        if (n == 4) window.ended = true;
    };
    run();
    EXPECT_EQ(cycles, 3) << "no timer tick raised these";
    EXPECT_EQ(state.checkDue, core::kFalse);
}

TEST_F(MainTest, RestartIsLookedAtBeforeADueCheck) {
    writeSettings(kCheckOnly);
    window.onEvents = [&](int n) {
        if (n == 2) {
            state.checkDue = core::kTrue;
            save(kCheckOnly);
        }
        if (n == 4) window.ended = true;
    };
    run();
    EXPECT_EQ(log->calls, (QStringList{"pop3.Connect", "cycle", "pop3.Connect", "cycle"}));
}

TEST_F(MainTest, FailedCycleShowsTheStatusTextAndPollingGoesOn) {
    writeSettings(kCheckOnly);
    cycleResult = -1;
    state.forwardedCount = 7;
    window.onEvents = [&](int n) {
        if (n == 2) state.checkDue = core::kTrue;
        if (n == 4) window.ended = true;
    };
    run();
    EXPECT_EQ(window.lblInfo, "メールチェックに失敗しました");
    EXPECT_EQ(window.failureReasons.value(0), "pop: scripted failure") << "why, for the tooltip";
    EXPECT_EQ(cycles, 2);
    EXPECT_EQ(log->count("pop3.Connect"), 1) << "a failed cycle sets nothing up again";
    EXPECT_EQ(state.forwardedCount, 0) << "reset at start-up only";
}

TEST_F(MainTest, ForwardedCountSurvivesARestart) {
    writeSettings(kCheckOnly);
    window.onEvents = [&](int n) {
        if (n == 1) state.forwardedCount = 4;
        if (n == 2) save(kCheckOnly);
        if (n == 4) window.ended = true;
    };
    run();
    EXPECT_EQ(state.forwardedCount, 4);
    EXPECT_EQ(log->count("pop3.Connect"), 2);
}

TEST_F(MainTest, MissingComponentIsReportedAndStartUpEnds) {
    registry = mail::ComponentRegistry();
    writeSettings(kCheckOnly);
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].contains("Corvex.SMTPMail"));
    EXPECT_EQ(window.shows, 0);
}

}  // namespace

// A token server refusing for want of a sign-in: the window signs in once and sets up
// again; a sign-in given up shows the set-up failure as before.
TEST_F(MainTest, AnOAuth2ServerWithoutTokensSignsInOnceAndSetsUpAgain) {
    for (const bool signedIn : {true, false}) {
        SCOPED_TRACE(signedIn);
        log->calls.clear();
        window.messages.clear();
        writeSettings("POP3,pop3s+oauth2://pop.example.jp\r\nUSER_NAME,u\r\nPASSWD,p\r\n");
        int signIns = 0;
        signIn = [&] {
            ++signIns;
            pop3->connectResult = signedIn;
            return signedIn;
        };
        registry.Register(mail::kPop3ProgId, [&] {
            auto object = std::make_unique<FakePop3>(log);
            object->connectResult = false;
            object->authenticationFailure = true;
            pop3 = object.get();
            return object;
        });
        window.ended = false;
        window.onEvents = [&](int n) {
            if (n == 20) window.ended = true;
        };
        run();
        EXPECT_EQ(signIns, 1);
        EXPECT_EQ(log->calls.count("pop3.Connect"), signedIn ? 2 : 1);
        EXPECT_EQ(window.messages.isEmpty(), signedIn);
    }
}
