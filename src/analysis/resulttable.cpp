#include "resulttable.h"

#include <algorithm>

namespace {
const CellText emptyCell;
}

void ResultTable::reset(int columnCount)
{
    columnCount_ = std::clamp(columnCount, 0, 127);
    rows_.clear();
    rows_.shrink_to_fit();
    rows_.emplace_back();
}

void ResultTable::appendRow(int expectedCells)
{
    rows_.emplace_back().reserve(size_t(std::clamp(expectedCells, 0, columnCount_)));
}

const CellText& ResultTable::cellText(int column, int row) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount_)
        return emptyCell;
    for (const Entry& entry : rows_[static_cast<size_t>(row)]) {
        if (entry.column == column)
            return entry.text;
    }
    return emptyCell;
}

void ResultTable::setCell(int column, int row, CellText text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount_)
        return;
    Row& cells = rows_[static_cast<size_t>(row)];
    for (Entry& entry : cells) {
        if (entry.column == column) {
            entry.text = std::move(text);
            return;
        }
    }
    cells.push_back({static_cast<std::int8_t>(column), std::move(text)});
}
