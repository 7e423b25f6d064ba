#pragma once

#include "analysis/celltext.h"

#include <QString>

#include <vector>

class ResultsModel;

// What the find bar and the faults-only switch leave on show.
struct RowFilter
{
    // Rows that hold this text in any column, case ignored; empty: every row.
    QString text;
    // Rows whose cell in this column is exactly hiddenValue are hidden; -1: none.
    int hiddenColumn = -1;
    QString hiddenValue;

    bool isActive() const { return !text.isEmpty() || hiddenColumn >= 0; }
    // Whether every row this filter shows is also shown by wider: a longer find text that holds
    // the shorter one only ever drops rows, so typing need only look at the rows still shown.
    bool narrows(const RowFilter& wider) const;
};

// For each of candidates (rows of model), whether it passes filter. The rows are matched on
// several threads at once, which only read the model.
std::vector<char> matchRows(const std::vector<int>& candidates, const ResultsModel& model,
                            const RowFilter& filter);
