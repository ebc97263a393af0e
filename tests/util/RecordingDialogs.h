#pragma once
// Answers the program's message boxes without showing them, and remembers them.

#include <QStringList>

#include "ui/Dialogs.h"

namespace testutil {

class RecordingDialogs : public ui::Dialogs {
public:
    QStringList informed, details, informative, asked;
    bool answerOk = true;
    int dismissed = 0;

    void Inform(const QString& text, const QString& detail = {}, const QString& why = {}) override {
        informed << text;
        details << detail;
        informative << why;
    }
    bool AskOkCancel(const QString& text) override {
        asked << text;
        return answerOk;
    }
    void DismissOpen() override { ++dismissed; }
};

}  // namespace testutil
