#include "twips.h"

#include <QVariant>
#include <QWidget>

namespace twips {
namespace {
constexpr char kProperty[] = "twipsGeometry";
}

void setGeometry(QWidget* w, int left, int top, int width, int height)
{
    const QRect r(left, top, width, height);
    w->setProperty(kProperty, r);
    w->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

void setWidth(QWidget* w, int width)
{
    const QRect r = geometry(w);
    setGeometry(w, r.left(), r.top(), width, r.height());
}

QRect geometry(const QWidget* w)
{
    const QVariant v = w->property(kProperty);
    if (v.isValid())
        return v.toRect();
    const QRect g = w->geometry();
    return {g.left() * kPerPixel, g.top() * kPerPixel, g.width() * kPerPixel, g.height() * kPerPixel};
}

}  // namespace twips
