// Editing the window's copy of the two sender lists. The check cycle goes on with the
// lists as last loaded until the settings are saved.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <algorithm>

#include "frmInfo.h"

namespace ui {
namespace {

// The items of a list box count from 0 in 16-bit positions.
constexpr int kMaxListItems = 32767;

bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

}  // namespace

bool frmInfo::rejectChosen() const { return optIgnor->isChecked(); }

void frmInfo::cmdAdd_Click() {
    const QString text = txtEdit->text();
    if (isBlank(text)) return;
    QListWidget* list = rejectChosen() ? lstRej : lstAll;
    if (list->count() >= kMaxListItems) {
        dialogs_.Inform(QStringLiteral("一覧がいっぱいです"));
        return;
    }
    list->addItem(text);
    txtEdit->clear();
    ++(rejectChosen() ? state_.rejectCount : state_.fullTextCount);
}

void frmInfo::comdel_Click() {
    const QString text = txtEdit->text();
    if (text.isEmpty()) return;
    QListWidget* list = rejectChosen() ? lstRej : lstAll;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text() != text) continue;
        delete list->takeItem(i);
        --(rejectChosen() ? state_.rejectCount : state_.fullTextCount);
        txtEdit->clear();
        return;
    }
    dialogs_.Inform(QStringLiteral("該当無し"));
}

void frmInfo::lstAll_Click() {
    if (QListWidgetItem* item = lstAll->currentItem(); item && !item->text().isEmpty())
        txtEdit->setText(item->text());
}

void frmInfo::lstRej_Click() {
    if (QListWidgetItem* item = lstRej->currentItem(); item && !item->text().isEmpty())
        txtEdit->setText(item->text());
}

void frmInfo::optAll_Click() {
    lstRej->hide();
    lstAll->show();
    lblMode->setText(QStringLiteral("全文転送"));
    lblMode->adjustSize();
}

void frmInfo::optIgnor_Click() {
    lstAll->hide();
    lstRej->show();
    lblMode->setText(QStringLiteral("転送無効"));
    lblMode->adjustSize();
}

}  // namespace ui
