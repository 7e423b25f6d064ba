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
    if (!table_ || row < 0 || row >= rowCount_ || column < 0 || column >= headers_.size())
        return {};
    const CellText& cell = table_->cellText(column, row + 1);
    QString text;
    if (cell.isCompact()) {
        // Decode only the start of a long body: 4 bytes per character at most, and a character
        // cut at the end lies past the limit and goes with the truncation below.
        const QByteArray utf8 = cell.toUtf8();
        text = QString::fromUtf8(utf8.first(std::min(utf8.size(), 4 * displayLimit)));
    } else {
        text = cell.toString();
    }
    if (text.size() > displayLimit)
        text.truncate(text.at(displayLimit - 1).isHighSurrogate() ? displayLimit - 1
                                                                  : displayLimit);
    // A list row has one line: a line break would push the rest of the cell out of sight.
    for (QChar& character : text) {
        if (character == u'\n' || character == u'\r')
            character = u' ';
    }
    return text;
}
