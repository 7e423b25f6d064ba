#include "resulttable.h"

#include <algorithm>

namespace {
const CellText emptyCell;
}

void ResultTable::reset(int columnCount, int numberCount)
{
    columnCount_ = std::clamp(columnCount, 0, 127);
    numberCount_ = std::max(numberCount, 0);
    description_ = nullptr;
    rows_.clear();
    rows_.shrink_to_fit();
    numbers_.clear();
    numbers_.shrink_to_fit();
    rows_.emplace_back();
    numbers_.resize(size_t(numberCount_), noNumber);
}

void ResultTable::reset(const TableDescription& description)
{
    reset(description.columnLimit, description.numberCount);
    description_ = &description;
    for (int column = 0; column < description.fixedCount(); ++column)
        setCell(column, 0, description.columns[size_t(column)].header);
}

void ResultTable::appendRow(int expectedCells)
{
    rows_.emplace_back().reserve(size_t(std::clamp(expectedCells, 0, columnCount_)));
    numbers_.resize(numbers_.size() + size_t(numberCount_), noNumber);
}

template <typename Cell>
int ResultTable::appendWhole(std::span<Cell> cells, std::span<const qint64> numbers)
{
    // Only the cells that hold something take room in the row, each column once.
    cells = cells.first(std::min(cells.size(), size_t(columnCount_)));
    Row& entries = rows_.emplace_back();
    entries.reserve(size_t(std::count_if(cells.begin(), cells.end(),
                                         [](const CellText& cell) { return !cell.isEmpty(); })));
    for (size_t column = 0; column < cells.size(); ++column) {
        if (!cells[column].isEmpty())
            entries.push_back({static_cast<std::int8_t>(column), std::move(cells[column])});
    }
    numbers_.resize(numbers_.size() + size_t(numberCount_), noNumber);
    std::copy_n(numbers.begin(), std::min(numbers.size(), size_t(numberCount_)),
                numbers_.end() - numberCount_);
    return rowCount() - 1;
}

int ResultTable::appendRow(std::span<const CellText> cells, std::span<const qint64> numbers)
{
    return appendWhole(cells, numbers);
}

int ResultTable::appendRow(std::span<CellText> cells, std::span<const qint64> numbers)
{
    return appendWhole(cells, numbers);
}

qint64 ResultTable::number(int index, int row) const
{
    if (row < 0 || row >= rowCount() || index < 0 || index >= numberCount_)
        return noNumber;
    return numbers_[size_t(row) * size_t(numberCount_) + size_t(index)];
}

void ResultTable::setNumber(int index, int row, qint64 value)
{
    if (row >= 0 && row < rowCount() && index >= 0 && index < numberCount_)
        numbers_[size_t(row) * size_t(numberCount_) + size_t(index)] = value;
}

qint64 ResultTable::numberIn(int column, int row) const
{
    return description_ ? number(description_->numberOf(column), row) : noNumber;
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
