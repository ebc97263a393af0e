#include "StartUp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "AppLog.h"
#include "Texts.h"

namespace app {

StartUp::StartUp(const Options& options, const QString& mode)
    : location_(LocateSettings(options.settingsFile, QCoreApplication::applicationDirPath(),
                               QProcessEnvironment::systemEnvironment())) {
    QString error;
    if (!MakeFolders(location_, &error)) {
        outcome_ = Outcome::Failed;
        problem_ = error;
        qCCritical(lcApp).noquote() << error;  // no log file yet: stderr only
        return;
    }
    log_ = std::make_unique<LogHandler>(location_.stateFolder, LogHandler::StderrWanted());
    qCInfo(lcApp).noquote() << QStringLiteral(
                                   "Tarnpost %1 starting (%2); settings %3; journal and "
                                   "log in %4")
                                   .arg(QCoreApplication::applicationVersion(), mode,
                                        location_.settingsFile, location_.stateFolder);
    lock_ = std::make_unique<InstanceLock>(location_.lockFile);
    if (!lock_->Acquire()) {
        if (lock_->HeldElsewhere()) {
            outcome_ = Outcome::AlreadyRunning;
            problem_ = kAlreadyRunning + u'\n' + location_.lockFile;
            qCWarning(lcApp).noquote() << "another copy is running; lock" << location_.lockFile
                                       << lock_->Reason() << "- ending without touching mail";
        } else {
            outcome_ = Outcome::Failed;
            problem_ = QStringLiteral("cannot create the lock file %1: %2")
                           .arg(location_.lockFile, lock_->Reason());
            qCCritical(lcApp).noquote() << problem_;
        }
        return;
    }
    // Relative names in the settings, if any, mean the settings' own folder.
    QDir::setCurrent(QFileInfo(location_.settingsFile).absolutePath());
}

StartUp::~StartUp() = default;

int StartUp::Finish(int exitCode) const {
    qCInfo(lcApp) << "ended with exit code" << exitCode;
    return exitCode;
}

}  // namespace app
