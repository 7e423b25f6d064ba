#include "resizelayout.h"

#include "twips.h"

#include <QWidget>

#include <algorithm>

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
    add(controls.DetailPanel, Edge::Width, dW);
    add(controls.ListView1, Edge::Height, dH);
    add(controls.DetailPanel, Edge::Top, dH);
}

void shareHeight(QWidget& list, QWidget& panel, int windowHeight, const HeightShare& share)
{
    // Worked out from the window's height rather than step by step: where nothing gives way this
    // is where the steps above put them, and it stays right whatever a refused step left behind.
    const int panelBottom = windowHeight - share.bottomMargin;
    const int listHeight =
        std::max(share.listMinimum, panelBottom - share.panelHeight - share.gap - list.y());
    list.resize(list.width(), listHeight);
    const int panelTop = list.y() + listHeight + share.gap;
    panel.setGeometry(panel.x(), panelTop, panel.width(), std::max(0, panelBottom - panelTop));
}
