#pragma once

#include "celltext.h"

#include <cstdint>
#include <vector>

// A grid of text cells addressed column first, row second, both from 0; row 0 holds the column
// headers. The column range is fixed by reset(); rows are only ever appended. Cells never written
// read as the empty text.
//
// Rows keep only the cells written into them: a link row of a table with room for 24 columns
// usually fills five or six, and a million such rows must not pay for the empty ones.
class ResultTable
{
public:
    // No table at all: no columns and no rows, not even a header row.
    ResultTable() = default;

    void reset(int columnCount);
    // expectedCells only reserves room, for rows whose cells are known to come.
    void appendRow(int expectedCells = 0);

    int columnCount() const { return columnCount_; }
    // Rows including the header row.
    int rowCount() const { return static_cast<int>(rows_.size()); }

    QString cell(int column, int row) const { return cellText(column, row).toString(); }
    const CellText& cellText(int column, int row) const;
    // Writes outside the column range or past the last row are ignored.
    void setCell(int column, int row, CellText text);

private:
    struct Entry
    {
        std::int8_t column;
        CellText text;
    };
    using Row = std::vector<Entry>;

    std::vector<Row> rows_;
    int columnCount_ = 0;
};
