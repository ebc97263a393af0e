// Tarnpost: a desktop mail relay for one POP3 mailbox.

#include "Main.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <cstdio>
#include <memory>

#include "Autostart.h"
#include "Headless.h"
#include "SignIn.h"
#include "SignalBridge.h"
#include "StartUp.h"
#include "Texts.h"
#include "WindowSignIn.h"
#include "core/CheckAndForward.h"
#include "mail/adapter/RealComponent.h"
#include "ui/frmInfo.h"

namespace {

// --help, --version and --autostart: answer and end, with no window and no lock.
int runCommand(const app::Options& options) {
    if (options.help) {
        std::fputs(qPrintable(app::HelpText()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tarnpost %s\n", TARNPOST_VERSION);
        return 0;
    }
    QString message;
    const QString settings = options.settingsFile.isEmpty()
                                 ? QString()
                                 : QFileInfo(options.settingsFile).absoluteFilePath();
    if (!app::SetAutostart(*options.autostart,
                           app::ConfigHome(QProcessEnvironment::systemEnvironment()),
                           QCoreApplication::applicationFilePath(), settings, &message)) {
        std::fprintf(stderr, "tarnpost: %s\n", qPrintable(message));
        return 1;
    }
    std::printf("tarnpost: %s\n", qPrintable(message));
    return 0;
}

int runWindow(const app::SettingsLocation& location, const QString& providerFile) {
    core::SharedState state;
    ui::QtDialogs dialogs;
    ui::frmInfo window(state, dialogs, location.settingsFile);
    dialogs.SetParent(&window);
    app::SignalBridge signals([&window] { window.Form_Unload(); });

    const auto components = mail::MakeComponentRegistry(location.stateFolder);
    // A transfer stuck on a silent server must not hold the program's end for its timeout.
    QObject::connect(&window, &ui::frmInfo::unloaded, [&components] { components.EndTransfers(); });
    app::Main supervisor(
        state, window, components, location.settingsFile,
        [&] { return core::CheckAndForward(state, window); }, core::Clock::System(),
        [&] { return app::SignInFromWindow(state, location.settingsFile, providerFile, &window); });
    return supervisor.Run();
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCoreApplication::setApplicationName(QStringLiteral("tarnpost"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNPOST_VERSION));
    const app::Options options = app::ParseOptions(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tarnpost: %s\nTry 'tarnpost --help' for the options.\n",
                     qPrintable(options.error));
        return app::kExitUsage;
    }
    if (options.help || options.version || options.autostart) {
        QCoreApplication application(argc, argv);
        return runCommand(options);
    }

    if (options.signIn) {
        // A desktop session gets its default browser; elsewhere $BROWSER, --device, or
        // the address printed for the user to open.
        const bool desktop = !options.device && qEnvironmentVariableIsEmpty("BROWSER") &&
                             (!qEnvironmentVariableIsEmpty("DISPLAY") ||
                              !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
        std::unique_ptr<QCoreApplication> application =
            desktop ? std::make_unique<QApplication>(argc, argv)
                    : std::make_unique<QCoreApplication>(argc, argv);
        const app::SettingsLocation location =
            app::LocateSettings(options.settingsFile, QCoreApplication::applicationDirPath(),
                                QProcessEnvironment::systemEnvironment());
        app::SignInRequest request{location.settingsFile, options.oauthProvider, options.device,
                                   nullptr, nullptr};
        if (desktop)
            request.openBrowser = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
        return app::RunSignIn(request, stdout, stderr);
    }

    if (options.headless) {
        QCoreApplication application(argc, argv);
        const app::StartUp start(options, QStringLiteral("headless"));
        if (start.Result() == app::StartUp::Outcome::AlreadyRunning)
            return app::kExitAlreadyRunning;
        if (start.Result() != app::StartUp::Outcome::Ready) return 1;
        const auto components = mail::MakeComponentRegistry(start.Location().stateFolder);
        return start.Finish(app::RunHeadless(start.Location(), components));
    }

    QApplication application(argc, argv);
    // Docks link the window to its launcher by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tarnpost.Tarnpost"));
    // The program ends when the window unloads, not when its last window hides.
    application.setQuitOnLastWindowClosed(false);
    const app::StartUp start(options, QStringLiteral("window"));
    if (start.Result() != app::StartUp::Outcome::Ready) {
        ui::QtDialogs dialogs;
        app::SignalBridge signals([&dialogs] { dialogs.DismissOpen(); });
        dialogs.Inform(start.Problem());
        return start.Result() == app::StartUp::Outcome::AlreadyRunning ? app::kExitAlreadyRunning
                                                                       : 1;
    }
    return start.Finish(runWindow(start.Location(), options.oauthProvider));
}
