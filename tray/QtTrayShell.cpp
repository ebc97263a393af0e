#include <QMenu>
#include <QSystemTrayIcon>

#include "TrayShell.h"

namespace tray {

class QtTrayShell::Impl {
public:
    explicit Impl(std::function<void()> onPress) {
        QObject::connect(&icon, &QSystemTrayIcon::activated,
                         [onPress = std::move(onPress)](QSystemTrayIcon::ActivationReason why) {
                             if (why == QSystemTrayIcon::Trigger) onPress();
                         });
    }
    QSystemTrayIcon icon;
    QMenu menu;
};

QtTrayShell::QtTrayShell(std::function<void()> onPress) : impl_(new Impl(std::move(onPress))) {}
QtTrayShell::~QtTrayShell() { delete impl_; }

bool QtTrayShell::Add(const QIcon& icon, const QString& tip) {
    if (impl_->icon.isVisible()) return false;
    impl_->icon.setIcon(icon);
    impl_->icon.setToolTip(tip);
    impl_->icon.show();
    return true;
}

bool QtTrayShell::Modify(const QIcon& icon, const QString& tip) {
    if (!impl_->icon.isVisible()) return false;
    impl_->icon.setIcon(icon);
    impl_->icon.setToolTip(tip);
    return true;
}

bool QtTrayShell::Delete() {
    if (!impl_->icon.isVisible()) return false;
    impl_->icon.hide();
    return true;
}

bool QtTrayShell::IconShown() const { return impl_->icon.isVisible(); }
QString QtTrayShell::Tip() const { return impl_->icon.toolTip(); }
bool QtTrayShell::Available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void QtTrayShell::SetMenu(const std::vector<TrayMenuEntry>& entries) {
    impl_->menu.clear();
    for (const TrayMenuEntry& entry : entries)
        QObject::connect(impl_->menu.addAction(entry.text), &QAction::triggered, &impl_->menu,
                         entry.chosen);
    impl_->icon.setContextMenu(&impl_->menu);
}

QStringList QtTrayShell::MenuTexts() const {
    QStringList texts;
    for (const QAction* action : impl_->icon.contextMenu()->actions()) texts << action->text();
    return texts;
}

}  // namespace tray
