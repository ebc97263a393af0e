#pragma once
// TrayShow / TrayRemove and the minimised-window hook TrayWindowProc.

#include <QIcon>
#include <QString>
#include <cstdint>

#include "TrayShell.h"
#include "core/WindowProcedure.h"

namespace core {
struct SharedState;
}

namespace tray {

inline constexpr std::uint32_t kTrayCallbackMessage = 1025;  // WM_USER + 1
inline constexpr std::intptr_t kLeftButtonDown = 513;        // WM_LBUTTONDOWN
inline constexpr int kTipFieldChars = 64;

// What the tray needs of the main window.
class TrayWindow {
public:
    virtual ~TrayWindow() = default;
    virtual bool Visible() const = 0;
    virtual QIcon TrayIconImage() const = 0;  // the picture of imgIcon
    virtual void RestoreNormal() = 0;         // WindowState = normal
    virtual void SetVisible(bool visible) = 0;
    virtual void SetFocus() = 0;
    // SetWindowLong(GWL_WNDPROC): makes proc the window's procedure, returns the old one.
    virtual core::WindowProcedure* SetWindowProc(core::WindowProcedure* proc) = 0;
};

// The tip as the 64-character field holds it: the text and a NUL, padded with spaces,
// or cut to its first 64 characters (then without a NUL).
QString TipField(const QString& tip);
// What the shell shows of a tip field: the text up to the NUL.
QString ShownTip(const QString& field);

// Adds the icon while the window is visible, otherwise replaces its tip.
void TrayShow(TrayShell& shell, const TrayWindow& window, const QString& tip);
void TrayRemove(TrayShell& shell);

// Put in front of the window's procedure while the window is minimised: a left-button
// press on the icon restores, shows and focuses the window; every message goes on to
// prevWndProc.
class TrayWindowProc : public core::WindowProcedure {
public:
    TrayWindowProc(core::SharedState& state, TrayWindow& window);
    std::intptr_t Call(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

    // Installs the hook unless it is already in place, so that prevWndProc keeps the
    // procedure saved first and never becomes the hook itself.
    void Install();
    // Puts prevWndProc back when one was saved.
    void Remove();

private:
    core::SharedState& state_;
    TrayWindow& window_;
};

}  // namespace tray
