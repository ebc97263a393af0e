#pragma once
// The notification area as the program sees it: one icon, identified by (main window, 1),
// that can be added, modified and deleted. Like the shell, it refuses an add while the
// icon is up and a modify or delete while it is not; a refusal is silent.

#include <QIcon>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace tray {

// One line of the icon's right-click menu.
struct TrayMenuEntry {
    QString text;
    std::function<void()> chosen;
};

class TrayShell {
public:
    TrayShell() = default;
    // One icon per shell: a copy would remove or modify the icon behind the other's back.
    TrayShell(const TrayShell&) = delete;
    TrayShell& operator=(const TrayShell&) = delete;
    virtual ~TrayShell() = default;
    virtual bool Add(const QIcon& icon, const QString& tip) = 0;
    virtual bool Modify(const QIcon& icon, const QString& tip) = 0;
    virtual bool Delete() = 0;
    // What the notification area shows now.
    virtual bool IconShown() const = 0;
    virtual QString Tip() const = 0;
    // Whether the desktop has a notification area at all.
    virtual bool Available() const = 0;
    // The menu a right-click on the icon opens.
    virtual void SetMenu(const std::vector<TrayMenuEntry>& entries) = 0;
};

// The shell on QSystemTrayIcon. A left-button press on the icon is handed to onPress.
class QtTrayShell : public TrayShell {
public:
    explicit QtTrayShell(std::function<void()> onPress);
    ~QtTrayShell() override;
    bool Add(const QIcon& icon, const QString& tip) override;
    bool Modify(const QIcon& icon, const QString& tip) override;
    bool Delete() override;
    bool IconShown() const override;
    QString Tip() const override;
    bool Available() const override;
    void SetMenu(const std::vector<TrayMenuEntry>& entries) override;
    // The menu as set, for tests.
    QStringList MenuTexts() const;

private:
    class Impl;
    Impl* impl_;
};

}  // namespace tray
