#include "controls.h"

#include "twips.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace controls {
namespace {

// QRadioButton draws its caption on one line; this one wraps it within the
// box and centres it vertically, the indicator at the left.
class WrappingOption : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        const QString caption = opt.text;
        opt.text.clear();
        p.drawControl(QStyle::CE_RadioButton, opt);
        QRect area = style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, this);
        area.setRight(width() - 1);
        p.drawItemText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, opt.palette, isEnabled(), caption,
                       QPalette::WindowText);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = style()->itemTextRect(fontMetrics(), area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                                               isEnabled(), caption);
            p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

// Enter presses the focused button, as Space does. Without this a button
// that is not a dialog's default ignores Enter, and in a dialog the default
// button would take it instead of the one that has the focus.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            event->accept();
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

}  // namespace

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    auto* c = new QLabel(text, parent);
    c->setWordWrap(true);
    c->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    twips::setGeometry(c, left, top, width, height);
    return c;
}

QLineEdit* textBox(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    auto* c = new QLineEdit(text, parent);
    twips::setGeometry(c, left, top, width, height);
    return c;
}

QPushButton* button(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    auto* c = new PushButton(text, parent);
    c->setAutoDefault(false);
    twips::setGeometry(c, left, top, width, height);
    return c;
}

QRadioButton* optionButton(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    auto* c = new WrappingOption(text, parent);
    twips::setGeometry(c, left, top, width, height);
    return c;
}

QComboBox* dropDownList(QWidget* parent, std::initializer_list<std::pair<QString, int>> items, int left, int top,
                        int width, int height)
{
    auto* c = new QComboBox(parent);
    c->setEditable(false);
    for (const auto& [text, data] : items)
        c->addItem(text, data);
    c->setCurrentIndex(0);
    twips::setGeometry(c, left, top, width, height);
    return c;
}

int itemData(const QComboBox* list)
{
    return list->currentData().toInt();
}

void setFocusOrder(std::initializer_list<QWidget*> order)
{
    for (auto it = order.begin(); it != order.end() && it + 1 != order.end(); ++it)
        QWidget::setTabOrder(*it, *(it + 1));
}

}  // namespace controls
