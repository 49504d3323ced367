#include "controls.h"

#include "twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace controls {

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
    auto* c = new QPushButton(text, parent);
    c->setAutoDefault(false);
    twips::setGeometry(c, left, top, width, height);
    return c;
}

}  // namespace controls
