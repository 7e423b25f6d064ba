#pragma once

#include "celltext.h"
#include "tablecolumns.h"

#include <array>

// One row of a table of fixed columns as it is built, before it goes into a table of the window
// or a stream of the report: its cells in column order and the numbers it keeps beside them.
template <int Columns, int Numbers> struct TableRow
{
    std::array<CellText, Columns> cells;
    std::array<qint64, Numbers> numbers{};
};

using ErrorRow = TableRow<ErrorColumnCount, ErrorNumberCount>;
using FindingRow = TableRow<FindingColumnCount, FindingNumberCount>;
