#pragma once

class QWidget;

// The window is designed in twips: 1440 to the inch, 15 to a logical pixel.
inline constexpr int twipsPerPixel = 15;

constexpr int toTwips(int pixels)
{
    return pixels * twipsPerPixel;
}

// Pixels to the nearest, for values that are not a whole number of pixels (column widths).
constexpr int toPixels(int twips)
{
    return (twips + (twips >= 0 ? twipsPerPixel / 2 : -(twipsPerPixel / 2))) / twipsPerPixel;
}

// A control's position and size in twips.
struct TwipsRect
{
    int left;
    int top;
    int width;
    int height;
};

void setTwipsGeometry(QWidget& widget, const TwipsRect& rect);
TwipsRect twipsGeometry(const QWidget& widget);
