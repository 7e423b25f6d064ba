#include "twips.h"

#include <QWidget>

void setTwipsGeometry(QWidget& widget, const TwipsRect& rect)
{
    widget.setGeometry(toPixels(rect.left), toPixels(rect.top), toPixels(rect.width),
                       toPixels(rect.height));
}

TwipsRect twipsGeometry(const QWidget& widget)
{
    const QRect pixels = widget.geometry();
    return {toTwips(pixels.x()), toTwips(pixels.y()), toTwips(pixels.width()),
            toTwips(pixels.height())};
}
