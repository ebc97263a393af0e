#pragma once
// The one window: settings, the two sender lists, the status line, the polling timer
// tmInt and the hidden tray icon picture imgIcon.

#include <QWidget>
#include <array>
#include <memory>

#include "Dialogs.h"
#include "core/SharedState.h"
#include "core/SupervisorPort.h"
#include "tray/Tray.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimer;

namespace ui {

class frmInfo : public QWidget, public core::SupervisorPort, public tray::TrayWindow {
    Q_OBJECT
public:
    // shell may be null for the real notification area.
    frmInfo(core::SharedState& state, Dialogs& dialogs, QString settingsPath,
            std::unique_ptr<tray::TrayShell> shell = nullptr);
    ~frmInfo() override;

    // core::SupervisorPort
    bool Visible() const override;
    void SetLblInfo(const QString& caption) override;
    void SetLblTime(const QString& caption) override;
    void TrayShow(const QString& tip) override;
    void MessageBox(const QString& text, const QString& detail = {},
                    const QString& informative = {}) override;
    void DoEvents() override;
    bool Ended() const override { return ended_; }
    void Show() override;
    void SetCaption(const QString& caption) override;
    void StartTimer(int intervalMs) override;
    void WaitEvents(int ms) override;
    void WaitForEvent() override;
    void ReportFatal(const QString& text) override;
    void SetFailureReason(const QString& reason) override;

    // tray::TrayWindow
    QIcon TrayIconImage() const override;
    void RestoreNormal() override;
    void SetVisible(bool visible) override;
    void SetFocus() override;
    core::WindowProcedure* SetWindowProc(core::WindowProcedure* proc) override;

    // A message to the window's current procedure (how the tray's callback arrives).
    std::intptr_t SendWindowMessage(std::uint32_t message, std::intptr_t wParam,
                                    std::intptr_t lParam);
    // Ends the program the way a close of the window does once it is not refused
    // (SIGTERM, the session ending).
    void Form_Unload();

Q_SIGNALS:
    // The program is ending; whatever waits on a server should stop waiting.
    void unloaded();

public:
    // Controls, named as the window's design names them.
    QLineEdit *txtPop3, *txtUser, *txtPass, *txtSMTP, *txtAcc, *txtSend, *txtEdit, *txtTime,
        *txtLength;
    std::array<QLabel*, 11> lblText{};  // elements 0, 1 and 3 to 10; no element 2
    QLabel *lblMode, *lblInfo, *lblTime, *imgIcon;
    QRadioButton *optIgnor, *optAll;
    QPushButton *cmdAdd, *comdel, *cmdUpdate;
    QListWidget *lstRej, *lstAll;
    QTimer* tmInt;

    // Event handlers.
    void Form_Load();
    void Form_QueryUnload(bool& cancel);
    void Form_Resize();
    void tmInt_Timer();
    void cmdAdd_Click();
    void comdel_Click();
    void lstAll_Click();
    void lstRej_Click();
    void optAll_Click();
    void optIgnor_Click();
    void cmdUpdate_Click();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    static constexpr int kInfoPointSize = 12;  // lblInfo's own size; long texts are drawn smaller
    void buildLayout();
    void connectHandlers();
    bool rejectChosen() const;
    // Says which field holds a value the file cannot keep; true when it did.
    bool saveRefused();

    core::SharedState& state_;
    Dialogs& dialogs_;
    QString settingsPath_;
    std::unique_ptr<tray::TrayShell> shell_;
    tray::TrayWindowProc hook_;
    std::unique_ptr<core::WindowProcedure> ownProc_;
    core::WindowProcedure* currentProc_;
    QIcon trayIcon_;
    QString lastTip_;               // the tray tip as the cycle or a minimise last gave it
    QString failureReason_;         // the tray tip's second line while the last check failed
    QTimer* pauseTimer_ = nullptr;  // wakes the supervisor's polling pause
    bool loaded_ = false;
    bool shownOnce_ = false;
    bool ended_ = false;
};

}  // namespace ui
