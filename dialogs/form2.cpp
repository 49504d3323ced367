#include "form2.h"

#include "widgets/controls.h"
#include "widgets/twips.h"

#include <QLineEdit>

Form2::Form2(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Add a place"));
    setFixedSize(twips::toPixels(7575), twips::toPixels(3225));
    Text1 = controls::textBox(this, QString(), 2760, 120, 4815, 285);
    Text2 = controls::textBox(this, QStringLiteral("Noname"), 2160, 1920, 5415, 285);
    Text3 = controls::textBox(this, QString(), 2160, 2280, 5415, 285);
}
