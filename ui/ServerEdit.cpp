#include "ServerEdit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace ui {

QString ServerEdit::Masked(const QString& server) {
    const qsizetype scheme = server.indexOf(QStringLiteral("://"));
    if (scheme < 0) return server;
    const qsizetype start = scheme + 3;
    qsizetype end = start;
    while (end < server.size() && server[end] != u'/' && server[end] != u'?' && server[end] != u'#')
        ++end;
    const qsizetype at = server.lastIndexOf(u'@', end - 1);
    if (at < start) return server;
    const qsizetype colon = server.indexOf(u':', start);
    if (colon < 0 || colon > at) return server;
    QString masked = server;
    masked.replace(colon + 1, at - colon - 1, QString(at - colon - 1, u'*'));
    return masked;
}

void ServerEdit::paintEvent(QPaintEvent* event) {
    const QString masked = Masked(text());
    if (hasFocus() || masked == text()) return QLineEdit::paintEvent(event);
    // Painted as QLineEdit paints an unfocused box scrolled to its start.
    QPainter painter(this);
    QStyleOptionFrame option;
    initStyleOption(&option);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    area = area.marginsRemoved(textMargins());
    painter.setClipRect(area);
    constexpr int kHorizontalMargin = 2;  // QLineEdit's own, before its text
    area.setLeft(area.left() + kHorizontalMargin);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    const QFontMetrics metrics = fontMetrics();
    const int baseline = area.top() + (area.height() - metrics.height() + 1) / 2 + metrics.ascent();
    painter.drawText(area.left(), baseline, masked);
}

}  // namespace ui
