#include "LogHandler.h"

#include <unistd.h>

#include <QDateTime>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace app {
namespace {

// Qt's handler is a plain function; it reaches the one installed handler through this.
std::atomic<LogHandler*> installed{nullptr};

const char* level(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return "debug";
        case QtInfoMsg:
            return "info";
        case QtWarningMsg:
            return "warning";
        case QtCriticalMsg:
            return "critical";
        case QtFatalMsg:
            return "fatal";
    }
    return "?";
}

}  // namespace

LogHandler::LogHandler(const QString& folder, bool toStderr)
    : file_(folder + u'/' + kLogFileName), toStderr_(toStderr) {
    installed = this;
    previous_ = qInstallMessageHandler(&LogHandler::handle);
}

LogHandler::~LogHandler() {
    qInstallMessageHandler(previous_);
    installed = nullptr;
}

bool LogHandler::StderrWanted() {
    return ::isatty(STDERR_FILENO) || std::getenv("INVOCATION_ID") || std::getenv("JOURNAL_STREAM");
}

void LogHandler::handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const QByteArray body = QByteArray(level(type)) + ' ' +
                            (context.category ? context.category : "default") + ": " +
                            text.toUtf8() + '\n';
    if (LogHandler* self = installed.load()) {
        self->file_.Write(QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' +
                          body);
        if (self->toStderr_) std::fputs(body.constData(), stderr);
    } else {
        std::fputs(body.constData(), stderr);
    }
    if (type == QtFatalMsg) std::abort();
}

}  // namespace app
