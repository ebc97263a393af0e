#include "FittedLabel.h"

#include <QFontMetrics>
#include <QLabel>

namespace ui {
namespace {

constexpr int kSmallestPointSize = 6;

bool fits(const QLabel* label, const QFont& font, const QString& text) {
    const QRect area = label->contentsRect();
    const QRect needed =
        QFontMetrics(font).boundingRect(area, int(label->alignment()) | Qt::TextWordWrap, text);
    return needed.width() <= area.width() && needed.height() <= area.height();
}

}  // namespace

void ShowFitted(QLabel* label, const QString& text, int pointSize) {
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSize(pointSize);
    while (font.pointSize() > kSmallestPointSize && !fits(label, font, text))
        font.setPointSize(font.pointSize() - 1);
    label->setFont(font);
    label->setText(text);
}

}  // namespace ui
