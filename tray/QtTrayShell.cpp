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

}  // namespace tray
