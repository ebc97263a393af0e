#include "Autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace app {
namespace {

// A desktop-entry Exec argument: quoted, with the characters the format reserves escaped.
QString quoted(const QString& argument) {
    QString text = argument;
    for (const QChar c : {u'\\', u'"', u'`', u'$'}) text.replace(c, QStringLiteral("\\") + c);
    text.replace(u'%', QStringLiteral("%%"));
    return u'"' + text + u'"';
}

}  // namespace

bool SetAutostart(bool on, const QString& configHome, const QString& program,
                  const QString& settingsFile, QString* message) {
    const QString folder = configHome + QStringLiteral("/autostart");
    const QString path = folder + QStringLiteral("/tarnpost.desktop");
    if (!on) {
        if (!QFile::exists(path)) {
            *message = QStringLiteral("no autostart entry at %1; nothing removed").arg(path);
            return true;
        }
        if (!QFile::remove(path)) {
            *message = QStringLiteral("cannot remove %1").arg(path);
            return false;
        }
        *message = QStringLiteral("removed %1: Tarnpost no longer starts at login").arg(path);
        return true;
    }
    QString exec = quoted(program);
    if (!settingsFile.isEmpty()) exec += QStringLiteral(" --settings ") + quoted(settingsFile);
    const QByteArray entry = QStringLiteral(
                                 "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Tarnpost\n"
                                 "Name[ja]=Tarnpost\n"
                                 "Comment=Forwards and lists the mail of one POP3 mailbox\n"
                                 "Comment[ja]=POP3メールボックスのメールを転送・一覧します\n"
                                 "Exec=%1\n"
                                 "Icon=tarnpost\n"
                                 "Terminal=false\n"
                                 "X-GNOME-Autostart-enabled=true\n")
                                 .arg(exec)
                                 .toUtf8();
    QSaveFile file(path);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(entry) != entry.size() || !file.commit()) {
        *message = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    *message = QStringLiteral("wrote %1: Tarnpost starts at login").arg(path);
    return true;
}

}  // namespace app
