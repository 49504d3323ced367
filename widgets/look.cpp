#include "look.h"

#include "art.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPixmap>

void applyLook(QApplication& app)
{
    // The windows are laid out for a narrow 8-point sans serif; Arial's
    // metric twin fits the captions, DejaVu only at a smaller size.
    const QStringList families = QFontDatabase::families();
    QFont font;
    if (families.contains(QStringLiteral("Liberation Sans"))) {
        font = QFont(QStringLiteral("Liberation Sans"));
        font.setPointSizeF(8);
    } else if (families.contains(QStringLiteral("Arial"))) {
        font = QFont(QStringLiteral("Arial"));
        font.setPointSizeF(8);
    } else {
        font.setPointSizeF(7);
    }
    app.setFont(font);
    app.setWindowIcon(QIcon(QPixmap::fromImage(art::icon())));
}
