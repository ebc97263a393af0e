#include "Tray.h"

#include "core/SharedState.h"

namespace tray {

QString TipField(const QString& tip) {
    QString field = tip + QChar(u'\0');
    if (field.size() >= kTipFieldChars) return field.left(kTipFieldChars);
    return field.leftJustified(kTipFieldChars, u' ');
}

QString ShownTip(const QString& field) {
    const qsizetype nul = field.indexOf(QChar(u'\0'));
    return nul < 0 ? field : field.left(nul);
}

void TrayShow(TrayShell& shell, const TrayWindow& window, const QString& tip) {
    const QString shown = ShownTip(TipField(tip));
    if (window.Visible())
        shell.Add(window.TrayIconImage(), shown);
    else
        shell.Modify(window.TrayIconImage(), shown);
}

void TrayRemove(TrayShell& shell) { shell.Delete(); }

TrayWindowProc::TrayWindowProc(core::SharedState& state, TrayWindow& window)
    : state_(state), window_(window) {}

std::intptr_t TrayWindowProc::Call(std::uint32_t message, std::intptr_t wParam,
                                   std::intptr_t lParam) {
    if (message == kTrayCallbackMessage && lParam == kLeftButtonDown) {
        window_.RestoreNormal();
        window_.SetVisible(true);
        window_.SetFocus();
    }
    core::WindowProcedure* previous = state_.prevWndProc;
    return previous ? previous->Call(message, wParam, lParam) : 0;
}

void TrayWindowProc::Install() {
    core::WindowProcedure* current = window_.SetWindowProc(this);
    if (current != this) state_.prevWndProc = current;
}

void TrayWindowProc::Remove() {
    if (state_.prevWndProc) window_.SetWindowProc(state_.prevWndProc);
}

}  // namespace tray
