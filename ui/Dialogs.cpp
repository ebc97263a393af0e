#include "Dialogs.h"

#include <QMessageBox>

namespace ui {

void QtDialogs::Inform(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, parent_);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
}

bool QtDialogs::AskOkCancel(const QString& text) {
    QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent_);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace ui
