#include "resizelayout.h"

#include "twips.h"

#include <QWidget>

namespace {

enum class Edge
{
    Left,
    Top,
    Width,
    Height
};

void add(QWidget* widget, Edge edge, int delta)
{
    if (!widget || delta == 0)
        return;
    TwipsRect rect = twipsGeometry(*widget);
    switch (edge) {
    case Edge::Left:
        rect.left += delta;
        break;
    case Edge::Top:
        rect.top += delta;
        break;
    case Edge::Width:
        if (rect.width + delta < 0)
            return;
        rect.width += delta;
        break;
    case Edge::Height:
        if (rect.height + delta < 0)
            return;
        rect.height += delta;
        break;
    }
    setTwipsGeometry(*widget, rect);
}

} // namespace

void followResize(const ResizeFollowers& controls, int dW, int dH)
{
    add(controls.TextPath, Edge::Width, dW);
    add(controls.CommandPath, Edge::Left, dW);
    add(controls.CommandExport, Edge::Left, dW);
    add(controls.OptionLinks, Edge::Left, dW);
    add(controls.OptionErrors, Edge::Left, dW);
    add(controls.OptionFindings, Edge::Left, dW);
    add(controls.ListView1, Edge::Width, dW);
    for (QWidget* text : controls.texts)
        add(text, Edge::Width, dW);
    add(controls.ListView1, Edge::Height, dH);
    for (QWidget* text : controls.texts)
        add(text, Edge::Top, dH);
    for (QWidget* label : controls.labels)
        add(label, Edge::Top, dH);
}
