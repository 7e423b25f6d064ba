#pragma once

#include "view/detailpanel.h"

#include <array>

class QWidget;

// The controls that follow the window's size.
struct ResizeFollowers
{
    QWidget* TextPath;
    QWidget* CommandPath;
    QWidget* CommandExport;
    QWidget* OptionLinks;
    QWidget* OptionErrors;
    QWidget* OptionFindings;
    QWidget* ListView1;
    std::array<QWidget*, detailSlotCount> texts;
    std::array<QWidget*, detailSlotCount> labels;
};

// Moves and stretches the controls by the change of the window's size, dW and dH twips: the
// right-hand buttons and options keep their distance from the right edge, the path box, the list
// and the detail boxes stretch, the list takes all extra height and the detail panel keeps its
// distance from the bottom edge. A width or height that would become negative is left as it is.
void followResize(const ResizeFollowers& controls, int dW, int dH);
