#include "LogFile.h"

#include <QMutexLocker>

namespace app {

LogFile::LogFile(QString path, qint64 maxBytes, int filesKept)
    : path_(std::move(path)), maxBytes_(maxBytes), filesKept_(filesKept), file_(path_) {}

void LogFile::Write(const QByteArray& line) {
    const QMutexLocker lock(&mutex_);
    if (!file_.isOpen()) {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return;
        file_.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    if (file_.size() > 0 && file_.size() + line.size() > maxBytes_) rotate();
    if (file_.isOpen()) file_.write(line);
}

void LogFile::rotate() {
    file_.close();
    const auto numbered = [this](int n) { return path_ + u'.' + QString::number(n); };
    QFile::remove(numbered(filesKept_ - 1));
    for (int n = filesKept_ - 2; n >= 1; --n) QFile::rename(numbered(n), numbered(n + 1));
    if (filesKept_ > 1)
        QFile::rename(path_, numbered(1));
    else
        QFile::remove(path_);
    if (file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        file_.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace app
