#pragma once

#include "view/detailpanel.h"

#include <array>

class QWidget;

// The controls that follow the window's size. The detail panel's captions and boxes sit in
// DetailPanel, which moves for them.
struct ResizeFollowers
{
    QWidget* TextPath;
    QWidget* CommandPath;
    QWidget* CommandExport;
    QWidget* OptionLinks;
    QWidget* OptionErrors;
    QWidget* OptionFindings;
    QWidget* ListView1;
    QWidget* DetailPanel;
    std::array<QWidget*, detailSlotCount> texts;
};

// Moves and stretches the controls by the change of the window's size, dW and dH twips: the
// right-hand buttons and options keep their distance from the right edge, the path box, the list
// and the detail boxes stretch, the list takes all extra height and the detail panel keeps its
// distance from the bottom edge. A width or height that would become negative is left as it is.
void followResize(const ResizeFollowers& controls, int dW, int dH);

// How the list and the detail panel below it share the window's height, in pixels.
struct HeightShare
{
    // The list's height with a few rows in view.
    int listMinimum = 0;
    int gap = 0;
    int panelHeight = 0;
    int bottomMargin = 0;
};

// The panel keeps its distance from the bottom edge and the list takes the rest, as the design
// has it, as long as that leaves the list its few rows. On a window too short for that the panel
// gives way from its top and scrolls, so that the list never shrinks to nothing.
void shareHeight(QWidget& list, QWidget& panel, int windowHeight, const HeightShare& share);
