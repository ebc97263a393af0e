// The save command: checks and completes the fields, writes Tarnpost.ini, loads it again
// and asks the supervisor to set the connections up anew.

#include <QLineEdit>
#include <QListWidget>

#include "Texts.h"
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

// A pasted CR would end the setting's line in the file and an LF would stay in the value.
QString withoutLineBreaks(QString text) {
    text.remove(u'\r');
    text.remove(u'\n');
    return text;
}

void removeLineBreaks(QLineEdit* box) {
    const QString text = withoutLineBreaks(box->text());
    if (text != box->text()) box->setText(text);
}

QStringList withoutLineBreaks(QStringList texts) {
    for (QString& text : texts) text = withoutLineBreaks(text);
    return texts;
}

// Empty (no forwarding) or one address: no blanks and an @ with text on both sides.
bool isAddressOrEmpty(const QString& text) {
    if (text.isEmpty()) return true;
    for (QChar c : text)
        if (c.isSpace()) return false;
    const qsizetype at = text.lastIndexOf(u'@');
    return at > 0 && at < text.size() - 1;
}

}  // namespace

bool frmInfo::saveRefused() {
    for (const auto& [box, caption] :
         {std::pair{txtTime, &kCaptionInterval}, std::pair{txtLength, &kCaptionLength}})
        if (!core::ReadSettingNumber(box->text())) {
            dialogs_.Inform(kNumberOutOfRange.arg(*caption));
            return true;
        }
    for (const auto& [box, caption] :
         {std::pair{txtSend, &kCaptionForwardTo}, std::pair{txtAcc, &kCaptionAccount}})
        if (!isAddressOrEmpty(box->text())) {
            dialogs_.Inform(kNotAnAddress.arg(*caption));
            return true;
        }
    return false;
}

void frmInfo::cmdUpdate_Click() {
    for (QLineEdit* box : {txtPop3, txtSMTP, txtUser, txtPass, txtSend, txtAcc, txtTime, txtLength})
        removeLineBreaks(box);
    for (const QLineEdit* required : {txtPop3, txtUser, txtPass})
        if (required->text().isEmpty()) return;
    defaultUnlessNumeric(txtTime, QStringLiteral("60"));
    defaultUnlessNumeric(txtLength, QStringLiteral("100"));
    // 0 or less would check every second: treated as no number at all.
    if (core::ReadSettingNumber(txtTime->text()).value_or(1) < 1)
        txtTime->setText(QStringLiteral("60"));
    if (saveRefused()) return;
    if (txtSend->text().isEmpty() &&
        !dialogs_.AskOkCancel(QStringLiteral("メールチェッカーとして動作します")))
        return;

    core::SettingsForm form{txtPop3->text(),
                            txtSMTP->text(),
                            txtUser->text(),
                            txtPass->text(),
                            txtSend->text(),
                            txtAcc->text(),
                            txtTime->text(),
                            txtLength->text(),
                            withoutLineBreaks(items(lstRej)),
                            withoutLineBreaks(items(lstAll))};
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
