#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>

#include "../util/FakeComponent.h"
#include "../util/QtPrinters.h"
#include "../util/RecordingDialogs.h"
#include "../util/RecordingTrayShell.h"
#include "tray/Tray.h"
#include "ui/frmInfo.h"

namespace {

struct TipCase {
    int length;
    QString field;
};

class TipFieldTest : public ::testing::TestWithParam<TipCase> {};

TEST_P(TipFieldTest, HoldsTheTextANulAndSpacesIn64Characters) {
    const QString tip(GetParam().length, u'x');
    EXPECT_EQ(tray::TipField(tip), GetParam().field);
    EXPECT_EQ(tray::TipField(tip).size(), 64);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, TipFieldTest,
    ::testing::Values(TipCase{0, QChar(u'\0') + QString(63, u' ')},
                      TipCase{10, QString(10, u'x') + QChar(u'\0') + QString(53, u' ')},
                      TipCase{63, QString(63, u'x') + QChar(u'\0')}, TipCase{64, QString(64, u'x')},
                      TipCase{100, QString(64, u'x')}));

TEST(TrayShowTip, ShownTipStopsAtTheNul) {
    EXPECT_EQ(tray::ShownTip(tray::TipField("12件転送済み")), "12件転送済み");
    EXPECT_EQ(tray::ShownTip(tray::TipField(QString(70, u'y'))), QString(64, u'y'));
}

// The shell's rules on the real QSystemTrayIcon.
TEST(QtTrayShellTest, RefusesWhatTheShellRefuses) {
    tray::QtTrayShell shell([] {});
    QIcon icon(QStringLiteral(":/icons/tray.ico"));
    EXPECT_FALSE(shell.Modify(icon, "no icon yet"));
    EXPECT_FALSE(shell.IconShown()) << "a modify never adds";
    EXPECT_FALSE(shell.Delete());
    EXPECT_TRUE(shell.Add(icon, "first"));
    EXPECT_FALSE(shell.Add(icon, "second"));
    EXPECT_EQ(shell.Tip(), "first") << "a second add keeps the old tip";
    EXPECT_TRUE(shell.Modify(icon, "third"));
    EXPECT_EQ(shell.Tip(), "third");
    EXPECT_TRUE(shell.Delete());
    EXPECT_FALSE(shell.IconShown());
}

// The window's own procedure as a test sees it: records what reaches it.
class RecordingProcedure : public core::WindowProcedure {
public:
    std::vector<std::tuple<std::uint32_t, std::intptr_t, std::intptr_t>> messages;
    std::intptr_t Call(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override {
        messages.emplace_back(message, wParam, lParam);
        return 77;
    }
};

class Minimise : public ::testing::Test {
protected:
    core::SharedState state;
    testutil::RecordingDialogs dialogs;
    std::unique_ptr<ui::frmInfo> window;
    RecordingProcedure own;
    bool trayAvailable = true;
    testutil::RecordingTrayShell* shell = nullptr;  // owned by the window

    void SetUp() override {
        auto log = std::make_shared<testutil::CallLog>();
        auto pop3 = std::make_unique<testutil::FakePop3>(log);
        pop3->mailCount = 3;
        state.pop3 = std::move(pop3);
        auto recording = std::make_unique<testutil::RecordingTrayShell>(trayAvailable);
        shell = recording.get();
        window = std::make_unique<ui::frmInfo>(
            state, dialogs, QStringLiteral("/nonexistent/Tarnpost.ini"), std::move(recording));
        window->Show();
        window->SetWindowProc(&own);  // stands for the window's own procedure
    }

    void minimise() { window->setWindowState(window->windowState() | Qt::WindowMinimized); }
    void clickIcon(std::intptr_t mouseMessage = tray::kLeftButtonDown) {
        window->SendWindowMessage(tray::kTrayCallbackMessage, 1, mouseMessage);
    }
};

TEST(QtTrayShellTest, RightClickOffersShowCheckNowAndQuit) {
    tray::QtTrayShell shell([] {});
    shell.SetMenu({{"a", [] {}}, {"b", [] {}}});
    EXPECT_EQ(shell.MenuTexts(), (QStringList{"a", "b"}));
}

TEST_F(Minimise, TheIconsMenuShowsChecksNowAndQuits) {
    ASSERT_EQ(shell->menu.size(), 3u);
    EXPECT_EQ(shell->menu[0].text, "表示");
    EXPECT_EQ(shell->menu[1].text, "今すぐチェック");
    EXPECT_EQ(shell->menu[2].text, "終了");
    minimise();
    ASSERT_FALSE(window->isVisible());
    shell->menu[0].chosen();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
    state.checkDue = core::kFalse, state.tickCount = 5;
    shell->menu[1].chosen();
    EXPECT_EQ(state.checkDue, core::kTrue);
    minimise();
    shell->menu[2].chosen();
    EXPECT_TRUE(window->Ended()) << "ends although the window is minimised";
}

TEST_F(Minimise, TheLastFailureIsTheTooltipAndWhileHiddenTheTipsSecondLine) {
    state.forwardedCount = 2;
    minimise();
    window->SetFailureReason("pop.example.jp: Host not found");
    EXPECT_EQ(window->lblInfo->toolTip(), "pop.example.jp: Host not found");
    EXPECT_EQ(shell->Tip(), "2件転送済み\npop.example.jp: Host not found");
    window->SetFailureReason({});  // the next check went well
    EXPECT_EQ(shell->Tip(), "2件転送済み");
    EXPECT_EQ(window->lblInfo->toolTip(), "pop.example.jp: Host not found") << "kept";
}

TEST_F(Minimise, HidesBehindTheIconWithTheForwardedCount) {
    state.forwardedCount = 0;
    minimise();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(shell->IconShown());
    EXPECT_EQ(shell->Tip(), "0件転送済み");
    EXPECT_EQ(state.prevWndProc, &own);
}

TEST_F(Minimise, CheckOnlyTipTakesTheMailCount) {
    state.checkOnly = core::kTrue;
    minimise();
    EXPECT_EQ(shell->Tip(), "3件の新着メール");
}

TEST_F(Minimise, ACheckWhileHiddenRetitlesTheIcon) {
    minimise();
    window->TrayShow("5件転送済み");
    EXPECT_EQ(shell->Tip(), "5件転送済み");
}

TEST_F(Minimise, LeftClickRestoresAndTheClickStillReachesTheWindow) {
    minimise();
    clickIcon();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(shell->IconShown());
    ASSERT_EQ(own.messages.size(), 1u);
    EXPECT_EQ(own.messages[0],
              std::make_tuple(tray::kTrayCallbackMessage, std::intptr_t{1}, tray::kLeftButtonDown));
    // The hook is gone: the next message goes straight to the window's procedure.
    EXPECT_EQ(window->SendWindowMessage(tray::kTrayCallbackMessage, 1, 514), 77);
    EXPECT_EQ(own.messages.size(), 2u);
    EXPECT_EQ(window->SetWindowProc(&own), &own);
}

struct PassCase {
    const char* name;
    std::uint32_t message;
    std::intptr_t lParam;
};

class PassedOn : public Minimise, public ::testing::WithParamInterface<PassCase> {};

TEST_P(PassedOn, OtherMessagesChangeNothingAndGoOn) {
    minimise();
    EXPECT_EQ(window->SendWindowMessage(GetParam().message, 1, GetParam().lParam), 77);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(shell->IconShown());
    ASSERT_EQ(own.messages.size(), 1u);
    EXPECT_EQ(std::get<0>(own.messages[0]), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Messages, PassedOn,
                         ::testing::Values(PassCase{"buttonUp", 1025, 514},
                                           PassCase{"doubleClick", 1025, 515},
                                           PassCase{"rightClick", 1025, 516},
                                           PassCase{"mouseMove", 1025, 512},
                                           PassCase{"otherMessage", 15, 513}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Minimise, MinimisingAgainAfterARestoreSavesTheSameProcedure) {
    minimise();
    clickIcon();
    minimise();
    EXPECT_EQ(state.prevWndProc, &own);
    EXPECT_TRUE(shell->IconShown());
}

TEST_F(Minimise, TwoMinimiseNotificationsInARowNeverSaveTheHook) {
    minimise();
    window->Form_Resize();  // a second minimised notification
    EXPECT_EQ(state.prevWndProc, &own);
    clickIcon();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(own.messages.size(), 1u);
}

TEST_F(Minimise, FirstDisplayLeavesTheProcedureAndShowsNoIcon) {
    EXPECT_EQ(state.prevWndProc, nullptr);
    EXPECT_FALSE(shell->IconShown());
}

TEST_F(Minimise, CloseWhileMinimisedIsRefusedAndBringsTheWindowBack) {
    minimise();
    QCloseEvent close;
    QCoreApplication::sendEvent(window.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_FALSE(window->Ended());
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(window->isVisible()) << "never a hidden window without an icon";
    EXPECT_FALSE(shell->IconShown());
}

TEST_F(Minimise, CloseWhenShownRemovesTheIconAndEnds) {
    window->TrayShow("stray");
    QCloseEvent close;
    QCoreApplication::sendEvent(window.get(), &close);
    EXPECT_TRUE(close.isAccepted());
    EXPECT_TRUE(window->Ended());
    EXPECT_FALSE(shell->IconShown());
}

TEST_F(Minimise, AfterTheEndNoMessageBoxHoldsTheProgram) {
    bool unloaded = false;
    QObject::connect(window.get(), &ui::frmInfo::unloaded, [&] { unloaded = true; });
    window->Form_Unload();
    EXPECT_TRUE(unloaded) << "transfers in progress are told to stop";
    EXPECT_EQ(dialogs.dismissed, 1) << "a box already open is closed";
    window->MessageBox("ＰＯＰ３サーバー接続失敗", "timed out");
    EXPECT_TRUE(dialogs.informed.isEmpty());
}

class MinimiseWithoutTray : public Minimise {
protected:
    void SetUp() override {
        trayAvailable = false;
        Minimise::SetUp();
    }
};

TEST_F(MinimiseWithoutTray, TheWindowStaysMinimisedRatherThanVanish) {
    minimise();
    EXPECT_TRUE(window->isVisible()) << "no icon could bring a hidden window back";
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
}

}  // namespace
