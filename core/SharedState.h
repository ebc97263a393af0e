#pragma once
// The one record of program-wide state. Everything runs on the user-interface thread,
// so fields are read and written directly, without accessors or locks.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "Flag.h"
#include "mail/MailComponent.h"

namespace core {

class WindowProcedure;

struct SharedState {
    std::unique_ptr<mail::Pop3Mail> pop3;
    std::unique_ptr<mail::SmtpMail> smtp;

    QString smtpServer;   // "SMTP"
    QString pop3Server;   // "POP3"
    QString userName;     // "USER_NAME"
    QString password;     // "PASSWD", held as plain text
    QString mailAccount;  // "MAILACC"
    QString forwardTo;    // "TRANS"

    Flag checkOnly = kFalse;
    std::int32_t maxBodyChars = 0;  // "LENGTH"; 0 quotes the whole body

    // The lists as last loaded; entry 1 is at index 0. The counts follow the window's
    // list boxes once it has loaded, while the lists keep what was loaded.
    QStringList rejectList;  // "REJECT"
    std::int32_t rejectCount = 0;
    QStringList fullTextList;  // "ALLTRANS"
    std::int32_t fullTextCount = 0;

    Flag restartRequested = kFalse;
    std::int32_t intervalSec = 0;  // "INTERVAL"
    std::int32_t tickCount = 0;
    std::int32_t forwardedCount = 0;
    Flag checkDue = kFalse;
    // Set by a check that stopped at its limits with mail still waiting: the next check
    // runs at once.
    Flag moreMailWaiting = kFalse;
    Flag settingsAccepted = kFalse;

    // The tray module's: the window procedure the minimise hook replaced (null until
    // the first minimise). Never the hook itself.
    WindowProcedure* prevWndProc = nullptr;
};

}  // namespace core
