#include "look.h"

#include "art.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPixmap>

namespace {

struct FontChoice {
    QString family;  // empty: the default one
    qreal points = 7;
};

FontChoice lookFont()
{
    // The windows are laid out for a narrow 8-point sans serif; Arial's
    // metric twin fits the captions, DejaVu only at a smaller size.
    const QStringList families = QFontDatabase::families();
    for (const QString& family : {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")})
        if (families.contains(family))
            return {family, 8};
    return {};
}

}  // namespace

void applyLook(QApplication& app)
{
    // Listing the installed fonts costs as much as a small journal: it is
    // asked once a run, however often the look is applied.
    static const FontChoice choice = lookFont();
    QFont font;
    if (!choice.family.isEmpty())
        font = QFont(choice.family);
    font.setPointSizeF(choice.points);
    app.setFont(font);
    app.setWindowIcon(QIcon(QPixmap::fromImage(art::icon())));
}
