#pragma once
// Controls created at their designed place, in twips.

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace controls {

// A caption that wraps within its box, top-left aligned like the originals.
QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height);
QLineEdit* textBox(QWidget* parent, const QString& text, int left, int top, int width, int height);
// A button that never becomes the default button by taking the focus.
QPushButton* button(QWidget* parent, const QString& text, int left, int top, int width, int height);

}  // namespace controls
