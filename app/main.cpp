// Tarnpost: a desktop mail relay for one POP3 mailbox.

#include "Main.h"
#include "SignalBridge.h"
#include "core/CheckAndForward.h"
#include "core/SettingsFile.h"
#include "ui/frmInfo.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The program ends when the window unloads, not when its last window hides.
    application.setQuitOnLastWindowClosed(false);

    const QString folder = QCoreApplication::applicationDirPath();
    QDir::setCurrent(folder);
    const QString settingsPath = core::SettingsFilePath(folder);

    core::SharedState state;
    ui::QtDialogs dialogs;
    ui::frmInfo window(state, dialogs, settingsPath);
    dialogs.SetParent(&window);
    app::SignalBridge signals([&window] { window.Form_Unload(); });

    const auto components = mail::ComponentRegistry::WithRealComponent(folder);
    // A transfer stuck on a silent server must not hold the program's end for its timeout.
    QObject::connect(&window, &ui::frmInfo::unloaded, [&components] { components.EndTransfers(); });
    app::Main supervisor(state, window, components, settingsPath,
                         [&] { return core::CheckAndForward(state, window); });
    return supervisor.Run();
}
