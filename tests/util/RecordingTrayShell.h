#pragma once
// A notification area for window tests: keeps the shell's rules (no second add, no
// modify or delete without an icon) and says whether the desktop has one.

#include "tray/TrayShell.h"

namespace testutil {

class RecordingTrayShell : public tray::TrayShell {
public:
    explicit RecordingTrayShell(bool available = true) : available_(available) {}

    bool Add(const QIcon&, const QString& tip) override {
        if (shown_) return false;
        shown_ = true;
        tip_ = tip;
        return true;
    }
    bool Modify(const QIcon&, const QString& tip) override {
        if (!shown_) return false;
        tip_ = tip;
        return true;
    }
    bool Delete() override {
        if (!shown_) return false;
        shown_ = false;
        return true;
    }
    bool IconShown() const override { return shown_; }
    QString Tip() const override { return tip_; }
    bool Available() const override { return available_; }
    void SetMenu(const std::vector<tray::TrayMenuEntry>& entries) override { menu = entries; }

    std::vector<tray::TrayMenuEntry> menu;

private:
    bool available_;
    bool shown_ = false;
    QString tip_;
};

}  // namespace testutil
