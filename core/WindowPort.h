#pragma once
// What the check cycle needs of the main window and the tray. core defines it; the
// window implements it, and unit tests record it.

#include <QString>

namespace core {

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Visible of frmInfo.
    virtual bool Visible() const = 0;
    virtual void SetLblInfo(const QString& caption) = 0;
    virtual void SetLblTime(const QString& caption) = 0;
    virtual void TrayShow(const QString& tip) = 0;
    // Modal message box titled "Tarnpost", OK only, no icon. detail, when given, is the
    // failure's reason as the server gave it (the box's tooltip); informative, a line
    // below the text that says why in the user's words.
    virtual void MessageBox(const QString& text, const QString& detail = {},
                            const QString& informative = {}) = 0;
    // Lets the window's pending events run once.
    virtual void DoEvents() = 0;
    // True once the window has unloaded: the program is ending.
    virtual bool Ended() const = 0;
};

}  // namespace core
