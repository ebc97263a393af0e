#include "SettingsLocation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "core/SettingsFile.h"

namespace app {
namespace {

const QString kFolderName = QStringLiteral("tarnpost");
const QString kLockName = QStringLiteral("Tarnpost.lock");

// The XDG base folder named by variable, or home + fallback when unset or relative.
QString xdgHome(const QProcessEnvironment& environment, const char* variable,
                const QString& fallback) {
    const QString value = environment.value(QString::fromLatin1(variable));
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
    QString home = environment.value(QStringLiteral("HOME"));
    if (home.isEmpty()) home = QDir::homePath();
    return QDir::cleanPath(home + u'/' + fallback);
}

bool writableByPermissions(const QString& folder) {
    struct stat info {};
    const QByteArray path = QFile::encodeName(folder);
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    mode_t bit = S_IWOTH;
    if (info.st_uid == ::geteuid())
        bit = S_IWUSR;
    else if (info.st_gid == ::getegid())
        bit = S_IWGRP;
    return (info.st_mode & bit) != 0 && ::access(path.constData(), W_OK) == 0;
}

SettingsLocation inFolder(const QString& settingsFile, const QString& stateFolder) {
    const QString folder = QFileInfo(settingsFile).absolutePath();
    return {settingsFile, stateFolder, folder + u'/' + kLockName};
}

}  // namespace

QString ConfigHome(const QProcessEnvironment& environment) {
    return xdgHome(environment, "XDG_CONFIG_HOME", QStringLiteral(".config"));
}

SettingsLocation LocateSettings(const QString& explicitFile, const QString& programFolder,
                                const QProcessEnvironment& environment) {
    if (!explicitFile.isEmpty()) {
        const QString file = QFileInfo(explicitFile).absoluteFilePath();
        return inFolder(file, QFileInfo(file).absolutePath());
    }
    const QString portable = core::SettingsFilePath(programFolder);
    if (QFileInfo::exists(portable) || writableByPermissions(programFolder))
        return inFolder(portable, QDir::cleanPath(programFolder));
    const QString config = ConfigHome(environment) + u'/' + kFolderName;
    const QString state =
        xdgHome(environment, "XDG_STATE_HOME", QStringLiteral(".local/state")) + u'/' + kFolderName;
    return inFolder(core::SettingsFilePath(config), state);
}

bool MakeFolders(const SettingsLocation& location, QString* error) {
    for (const QString& folder :
         {QFileInfo(location.settingsFile).absolutePath(), location.stateFolder}) {
        if (QFileInfo(folder).isDir()) continue;
        if (!QDir().mkpath(folder) ||
            !QFile::setPermissions(folder,
                                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            *error = QStringLiteral("cannot create the folder %1").arg(folder);
            return false;
        }
    }
    return true;
}

}  // namespace app
