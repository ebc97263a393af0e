#pragma once
// The program's one Qt message handler, installed for its lifetime: every qDebug/qInfo/
// qWarning line goes to the log file, and to stderr as well when stderr is a terminal or
// the program runs under systemd (which keeps stderr in its journal).

#include <QtMessageHandler>

#include "LogFile.h"

namespace app {

inline const QString kLogFileName = QStringLiteral("tarnpost.log");

class LogHandler {
public:
    LogHandler(const QString& folder, bool toStderr);
    ~LogHandler();
    LogHandler(const LogHandler&) = delete;
    LogHandler& operator=(const LogHandler&) = delete;

    QString Path() const { return file_.Path(); }

    // Whether stderr deserves a copy: a terminal, or systemd's journal.
    static bool StderrWanted();

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text);

    LogFile file_;
    bool toStderr_;
    QtMessageHandler previous_;
};

}  // namespace app
