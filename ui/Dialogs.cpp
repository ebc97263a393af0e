#include "Dialogs.h"

#include <QMessageBox>
#include <QPushButton>

#include "Texts.h"

namespace ui {

void QtDialogs::Inform(const QString& text, const QString& detail, const QString& informative) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, parent_);
    box.setInformativeText(informative);
    // OK only: a details button would bring Qt's English "Show Details...". The detail is
    // in the log already; here it is the box's tooltip.
    if (!detail.isEmpty()) box.setToolTip(detail);
    run(box);
}

bool QtDialogs::AskOkCancel(const QString& text) {
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent_);
    box.button(QMessageBox::Cancel)->setText(kCancelButton);
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
