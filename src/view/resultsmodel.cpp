#include "resultsmodel.h"

#include <algorithm>

namespace {

// More than a list column can show at any width; cutting there keeps painting a row of whole
// post bodies cheap.
constexpr qsizetype displayLimit = 1024;

} // namespace

void ResultsModel::present(const ResultTable& table, int lastColumn, int rowCount)
{
    beginResetModel();
    table_ = &table;
    headers_.clear();
    for (int column = 0; column <= lastColumn; ++column)
        headers_.append(table.cell(column, 0));
    rowCount_ = std::clamp(rowCount, 0, std::max(0, table.rowCount() - 1));
    endResetModel();
}

void ResultsModel::clearItems()
{
    beginResetModel();
    table_ = nullptr;
    rowCount_ = 0;
    endResetModel();
}

QString ResultsModel::cellText(int row, int column) const
{
    if (!table_ || row < 0 || row >= rowCount_ || column < 0 || column >= headers_.size())
        return {};
    return table_->cell(column, row + 1);
}

std::optional<qint64> ResultsModel::number(int row, int column) const
{
    if (!table_ || row < 0 || row >= rowCount_ || column < 0 || column >= headers_.size())
        return std::nullopt;
    const qint64 value = table_->numberIn(column, row + 1);
    return value == ResultTable::noNumber ? std::nullopt : std::optional(value);
}

std::optional<qint64> ResultsModel::rowNumber(int row, int index) const
{
    if (!table_ || row < 0 || row >= rowCount_)
        return std::nullopt;
    const qint64 value = table_->number(index, row + 1);
    return value == ResultTable::noNumber ? std::nullopt : std::optional(value);
}

const CellText& ResultsModel::cell(int row, int column) const
{
    static const CellText empty;
    if (!table_ || row < 0 || row >= rowCount_ || column < 0 || column >= headers_.size())
        return empty;
    return table_->cellText(column, row + 1);
}

QString ResultsModel::cellBeginning(int row, int column, qsizetype limit, bool* whole) const
{
    const CellText& text = cell(row, column);
    QString beginning;
    if (text.isCompact()) {
        // Decode only the start of a long body: 4 bytes per character at most, and a character
        // cut at the end lies past the limit and goes with the truncation below.
        const QByteArray utf8 = text.toUtf8();
        beginning = QString::fromUtf8(utf8.first(std::min(utf8.size(), 4 * limit)));
        if (whole)
            *whole = utf8.size() <= 4 * limit;
    } else {
        beginning = text.toString();
        if (whole)
            *whole = true;
    }
    if (beginning.size() > limit) {
        beginning.truncate(beginning.at(limit - 1).isHighSurrogate() ? limit - 1 : limit);
        if (whole)
            *whole = false;
    }
    return beginning;
}

QModelIndex ResultsModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount_ || column < 0 || column >= headers_.size())
        return {};
    return createIndex(row, column);
}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rowCount_;
}

int ResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(headers_.size());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(index.row(), index.column());
    case CellTextRole:
        return cellText(index.row(), index.column());
    default:
        return {};
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= headers_.size())
        return {};
    return headers_.at(section);
}

QString ResultsModel::displayText(int row, int column) const
{
    QString text = cellBeginning(row, column, displayLimit);
    // A list row has one line: a line break would push the rest of the cell out of sight.
    for (QChar& character : text) {
        if (character == u'\n' || character == u'\r')
            character = u' ';
    }
    return text;
}
