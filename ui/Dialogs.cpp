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
    if (open_) open_->done(QMessageBox::Cancel);
}

int QtDialogs::run(QMessageBox& box) {
    const QPointer<QMessageBox> outer = open_;  // a box opened from within another one
    open_ = &box;
    const int answer = box.exec();
    open_ = outer;
    return answer;
}

}  // namespace ui
