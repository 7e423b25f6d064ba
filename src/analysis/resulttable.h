#pragma once

#include "celltext.h"
#include "tablecolumns.h"
#include "tablerows.h"

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

// A grid of text cells addressed column first, row second, both from 0; row 0 holds the column
// headers. The column range is fixed by reset(); rows are only ever appended. Cells never written
// read as the empty text.
//
// Rows keep only the cells written into them: a link row of a table with room for 24 columns
// usually fills five or six, and a million such rows must not pay for the empty ones.
//
// Beside its cells each row keeps the numbers its description names, so that sorting, counting
// and placing a fault read them as numbers rather than parse the cells' texts back.
class ResultTable
{
public:
    // No table at all: no columns and no rows, not even a header row.
    ResultTable() = default;

    void reset(int columnCount, int numberCount = 0);
    // Room for the description's columns and numbers, its fixed headers in row 0.
    void reset(const TableDescription& description);
    // expectedCells only reserves room, for rows whose cells are known to come.
    void appendRow(int expectedCells = 0);
    // Appends a row built whole, its cells from column 0 and its numbers from index 0; returns
    // its index.
    int appendRow(std::span<const CellText> cells, std::span<const qint64> numbers);
    // The same, its cells moved in.
    int appendRow(std::span<CellText> cells, std::span<const qint64> numbers);
    template <int Columns, int Numbers> int appendRow(const TableRow<Columns, Numbers>& row)
    {
        return appendRow(std::span<const CellText>(row.cells),
                         std::span<const qint64>(row.numbers));
    }
    template <int Columns, int Numbers> int appendRow(TableRow<Columns, Numbers>&& row)
    {
        return appendRow(std::span<CellText>(row.cells), std::span<const qint64>(row.numbers));
    }

    int columnCount() const { return columnCount_; }
    // What reset() was given, or null after a reset by counts alone.
    const TableDescription* description() const { return description_; }
    // Rows including the header row.
    int rowCount() const { return static_cast<int>(rows_.size()); }

    QString cell(int column, int row) const { return cellText(column, row).toString(); }
    const CellText& cellText(int column, int row) const;
    // Writes outside the column range or past the last row are ignored.
    void setCell(int column, int row, CellText text);

    static constexpr qint64 noNumber = std::numeric_limits<qint64>::min();
    int numberCount() const { return numberCount_; }
    // noNumber when never set.
    qint64 number(int index, int row) const;
    void setNumber(int index, int row, qint64 value);
    // The number column shows, or noNumber when it shows none.
    qint64 numberIn(int column, int row) const;
    bool isNumeric(int column) const { return description_ && description_->numberOf(column) >= 0; }

private:
    struct Entry
    {
        std::int8_t column;
        CellText text;
    };
    using Row = std::vector<Entry>;

    template <typename Cell>
    int appendWhole(std::span<Cell> cells, std::span<const qint64> numbers);

    std::vector<Row> rows_;
    std::vector<qint64> numbers_;
    const TableDescription* description_ = nullptr;
    int columnCount_ = 0;
    int numberCount_ = 0;
};
