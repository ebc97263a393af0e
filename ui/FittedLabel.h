#pragma once
// A status line shows every text whole: it wraps, and a text that does not fit at the
// line's own size is drawn smaller until it does. What cannot fit even then (a long
// server answer) is in the tooltip as well.

#include <QString>

class QLabel;

namespace ui {

void ShowFitted(QLabel* label, const QString& text, int pointSize);

}  // namespace ui
