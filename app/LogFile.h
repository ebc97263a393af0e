#pragma once
// A log file rotated by size: tarnpost.log, then tarnpost.log.1 ... tarnpost.log.N-1.
// A line that would take the file past maxBytes first moves the older files one step
// down the list, dropping the oldest. Safe to call from any thread.

#include <QFile>
#include <QMutex>
#include <QString>

namespace app {

class LogFile {
public:
    LogFile(QString path, qint64 maxBytes = 1024 * 1024, int filesKept = 3);
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends line (which ends in a newline) and flushes it to the system.
    void Write(const QByteArray& line);
    QString Path() const { return path_; }

private:
    void rotate();

    QMutex mutex_;
    QString path_;
    qint64 maxBytes_;
    int filesKept_;
    QFile file_;
};

}  // namespace app
