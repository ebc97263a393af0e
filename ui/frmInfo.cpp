// The window as a whole: the supervisor's and the tray's view of it, and its lifecycle.

#include "frmInfo.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "FittedLabel.h"
#include "Texts.h"
#include "core/DigestLayout.h"

namespace ui {
namespace {

// The window's own procedure: the end of the chain; it handles nothing itself.
class OwnWindowProcedure : public core::WindowProcedure {
public:
    std::intptr_t Call(std::uint32_t, std::intptr_t, std::intptr_t) override { return 0; }
};

}  // namespace

frmInfo::frmInfo(core::SharedState& state, Dialogs& dialogs, QString settingsPath,
                 std::unique_ptr<tray::TrayShell> shell)
    : state_(state),
      dialogs_(dialogs),
      settingsPath_(std::move(settingsPath)),
      shell_(std::move(shell)),
      hook_(state, *this),
      ownProc_(std::make_unique<OwnWindowProcedure>()),
      currentProc_(ownProc_.get()) {
    if (!shell_)
        shell_ = std::make_unique<tray::QtTrayShell>(
            [this] { SendWindowMessage(tray::kTrayCallbackMessage, 1, tray::kLeftButtonDown); });
    buildLayout();
    connectHandlers();
    shell_->SetMenu({{kTrayMenuShow,
                      [this] {
                          RestoreNormal();
                          SetVisible(true);
                          SetFocus();
                      }},
                     {kTrayMenuCheckNow,
                      [this] {
                          state_.tickCount = 0;
                          state_.checkDue = core::kTrue;
                      }},
                     // Chosen on purpose: not refused as a close of the minimised window is.
                     {kTrayMenuQuit, [this] { Form_Unload(); }}});
    pauseTimer_ = new QTimer(this);
    pauseTimer_->setSingleShot(true);
    pauseTimer_->setTimerType(Qt::CoarseTimer);
}

frmInfo::~frmInfo() = default;

void frmInfo::connectHandlers() {
    connect(tmInt, &QTimer::timeout, this, [this] { tmInt_Timer(); });
    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(comdel, &QPushButton::clicked, this, [this] { comdel_Click(); });
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdate_Click(); });
    // A click, and a choice with the arrow keys, like the list box's Click event.
    for (QListWidget* list : {lstAll, lstRej}) {
        const auto handler = list == lstAll ? &frmInfo::lstAll_Click : &frmInfo::lstRej_Click;
        connect(list, &QListWidget::itemClicked, this, [this, handler] { (this->*handler)(); });
        connect(list, &QListWidget::currentRowChanged, this,
                [this, handler] { (this->*handler)(); });
    }
    connect(optAll, &QRadioButton::clicked, this, [this] { optAll_Click(); });
    connect(optIgnor, &QRadioButton::clicked, this, [this] { optIgnor_Click(); });
}

// --- what the supervisor and the check cycle use ---

bool frmInfo::Visible() const { return isVisible(); }
void frmInfo::SetLblInfo(const QString& caption) { ShowFitted(lblInfo, caption, kInfoPointSize); }
void frmInfo::SetLblTime(const QString& caption) { lblTime->setText(caption); }
void frmInfo::TrayShow(const QString& tip) {
    lastTip_ = tip;
    tray::TrayShow(*shell_, *this, failureReason_.isEmpty() ? tip : tip + u'\n' + failureReason_);
}
void frmInfo::MessageBox(const QString& text, const QString& detail, const QString& informative) {
    // An ended program shows nothing more: a box nobody will see would keep it alive.
    if (ended_) return;
    dialogs_.Inform(text, detail, informative);
}
void frmInfo::SetFailureReason(const QString& reason) {
    if (!reason.isEmpty()) lblInfo->setToolTip(reason);
    if (reason == failureReason_) return;
    failureReason_ = reason;
    // A hidden window's icon says it at once.
    if (!Visible() && shell_->IconShown()) TrayShow(lastTip_);
}
void frmInfo::DoEvents() { QCoreApplication::processEvents(); }
void frmInfo::SetCaption(const QString& caption) { setWindowTitle(caption); }

void frmInfo::Show() {
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
}

void frmInfo::StartTimer(int intervalMs) {
    tmInt->setInterval(intervalMs);
    tmInt->start();
}

void frmInfo::WaitEvents(int ms) {
    // One timer kept for the purpose wakes the wait at its deadline; events that come
    // before it are handled as they come.
    const QDeadlineTimer deadline(ms);
    pauseTimer_->start(ms);
    while (!deadline.hasExpired() && !ended_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void frmInfo::WaitForEvent() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void frmInfo::ReportFatal(const QString& text) {
    std::fprintf(stderr, "tarnpost: %s\n", qPrintable(text));
    dialogs_.Inform(text);
}

// --- what the tray uses ---

QIcon frmInfo::TrayIconImage() const { return trayIcon_; }
void frmInfo::RestoreNormal() { setWindowState(windowState() & ~Qt::WindowMinimized); }
void frmInfo::SetVisible(bool visible) { setVisible(visible); }
void frmInfo::SetFocus() {
    activateWindow();
    raise();
    setFocus();
}

core::WindowProcedure* frmInfo::SetWindowProc(core::WindowProcedure* proc) {
    core::WindowProcedure* previous = currentProc_;
    currentProc_ = proc;
    return previous;
}

std::intptr_t frmInfo::SendWindowMessage(std::uint32_t message, std::intptr_t wParam,
                                         std::intptr_t lParam) {
    return currentProc_->Call(message, wParam, lParam);
}

// --- lifecycle ---

void frmInfo::Form_Load() {
    txtPop3->setText(state_.pop3Server);
    txtSMTP->setText(state_.smtpServer);
    txtUser->setText(state_.userName);
    txtPass->setText(state_.password);
    txtTime->setText(QString::number(state_.intervalSec));
    txtLength->setText(QString::number(state_.maxBodyChars));
    txtAcc->setText(state_.mailAccount);
    txtSend->setText(state_.forwardTo);
    lstRej->addItems(state_.rejectList.mid(0, state_.rejectCount));
    lstAll->addItems(state_.fullTextList.mid(0, state_.fullTextCount));
}

void frmInfo::Form_QueryUnload(bool& cancel) {
    if (!(windowState() & Qt::WindowMinimized)) return;
    cancel = true;
    RestoreNormal();
    // A refused close must not leave a hidden window without an icon: bring it back.
    show();
}

void frmInfo::Form_Resize() {
    if (windowState() & Qt::WindowMinimized) {
        hook_.Install();
        const QString tip = state_.checkOnly
                                ? core::NewMailTip(state_.pop3 ? state_.pop3->MailCount() : 0)
                                : core::ForwardedTip(state_.forwardedCount);
        TrayShow(tip);
        // Without a notification area there would be no icon to bring the window back:
        // it then stays minimised on the task bar.
        if (shell_->Available()) hide();
    } else {
        hook_.Remove();
        tray::TrayRemove(*shell_);
    }
}

void frmInfo::Form_Unload() {
    tray::TrayRemove(*shell_);
    ended_ = true;
    dialogs_.DismissOpen();  // a box left open would keep the ending program alive
    tmInt->stop();
    hide();
    Q_EMIT unloaded();
    // Wakes a supervisor that waits for the next event.
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}

void frmInfo::tmInt_Timer() {
    ++state_.tickCount;
    if (state_.tickCount >= state_.intervalSec) {
        state_.checkDue = core::kTrue;
        state_.tickCount = 0;
    }
}

void frmInfo::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && loaded_) Form_Resize();
}

void frmInfo::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first display is a resize in the normal state.
    if (!shownOnce_) {
        shownOnce_ = true;
        Form_Resize();
    }
}

void frmInfo::closeEvent(QCloseEvent* event) {
    if (ended_) return;
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

}  // namespace ui
