#pragma once
// Controls created at their designed place, in twips.

#include <QString>
#include <initializer_list>
#include <utility>

class QComboBox;
class QLabel;
class QRadioButton;
class QLineEdit;
class QPushButton;
class QWidget;

namespace controls {

// A caption that wraps within its box, top-left aligned like the originals.
QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height);
QLineEdit* textBox(QWidget* parent, const QString& text, int left, int top, int width, int height);
// A button that never becomes the default button by taking the focus; Enter
// presses it when it has the focus, as Space does.
QPushButton* button(QWidget* parent, const QString& text, int left, int top, int width, int height);

// An option button whose caption wraps within its box beside the round
// indicator, as the designed captions need. Option buttons with the same
// parent form one group.
QRadioButton* optionButton(QWidget* parent, const QString& text, int left, int top, int width, int height);

// A drop-down list to pick from (no typing); each item carries a whole
// number. The first item is selected.
QComboBox* dropDownList(QWidget* parent, std::initializer_list<std::pair<QString, int>> items, int left, int top,
                        int width, int height);
// The whole number carried by the selected item (0 when none is).
int itemData(const QComboBox* list);

// The keyboard focus passes through the controls in this order.
void setFocusOrder(std::initializer_list<QWidget*> order);

}  // namespace controls
