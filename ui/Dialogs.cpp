#include "Dialogs.h"

#include <QMessageBox>

namespace ui {

void QtDialogs::Inform(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, parent_);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    run(box);
}

bool QtDialogs::AskOkCancel(const QString& text) {
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent_);
    return run(box) == QMessageBox::Ok;
}

void QtDialogs::DismissOpen() {
    // A box opened from within another one: the outer one would hold the end as well.
    for (const QPointer<QMessageBox>& box : open_)
        if (box) box->done(QMessageBox::Cancel);
}

int QtDialogs::run(QMessageBox& box) {
    open_.emplace_back(&box);
    const int answer = box.exec();
    open_.pop_back();
    return answer;
}

}  // namespace ui
