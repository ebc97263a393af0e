// The save command: checks and completes the fields, writes Tarnpost.ini, loads it again
// and asks the supervisor to set the connections up anew.

#include <QLineEdit>
#include <QListWidget>

#include "core/NumberText.h"
#include "core/SettingsFile.h"
#include "frmInfo.h"

namespace ui {
namespace {

QStringList items(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
}

void defaultUnlessNumeric(QLineEdit* box, const QString& fallback) {
    if (box->text().isEmpty() || !core::IsNumericText(box->text())) box->setText(fallback);
}

}  // namespace

void frmInfo::cmdUpdate_Click() {
    for (const QLineEdit* required : {txtPop3, txtUser, txtPass})
        if (required->text().isEmpty()) return;
    defaultUnlessNumeric(txtTime, QStringLiteral("60"));
    defaultUnlessNumeric(txtLength, QStringLiteral("100"));
    if (txtSend->text().isEmpty() &&
        !dialogs_.AskOkCancel(QStringLiteral("メールチェッカーとして動作します")))
        return;

    core::SettingsForm form{txtPop3->text(), txtSMTP->text(), txtUser->text(), txtPass->text(),
                            txtSend->text(), txtAcc->text(),  txtTime->text(), txtLength->text(),
                            items(lstRej),   items(lstAll)};
    QString error;
    if (!core::WriteSettingsFile(settingsPath_, form, &error)) {
        // Nothing else happens: the old file and the running settings stay as they were.
        dialogs_.Inform(QStringLiteral("設定ファイルを保存できませんでした"),
                        settingsPath_ + QStringLiteral(": ") + error);
        return;
    }
    core::LoadSettings(state_, settingsPath_);
    dialogs_.Inform(QStringLiteral("更新完了"));
    state_.settingsAccepted = core::kTrue;
    state_.restartRequested = core::kTrue;
}

}  // namespace ui
