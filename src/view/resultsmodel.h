#pragma once

#include "analysis/resulttable.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <optional>

// Presents the data rows of one result table to the results list. Cells are read from the table
// when the view asks for them, never copied, so showing a table of a million rows costs no more
// than showing one of ten. Model row r is table row r + 1 (row 0 holds the headers); model column
// c is table column c.
class ResultsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role
    {
        // The whole cell text; DisplayRole gives a one-line excerpt fit for a list row.
        CellTextRole = Qt::UserRole + 1,
    };

    using QAbstractTableModel::QAbstractTableModel;

    // Shows rows 1 to rowCount and columns 0 to lastColumn of table. The header texts are copied;
    // the table itself must stay alive and unchanged until the next present() or clearItems().
    void present(const ResultTable& table, int lastColumn, int rowCount);
    // Drops every row and lets go of the table; the column headers stay.
    void clearItems();

    QString cellText(int row, int column) const;
    // Whether the column shows one of the numbers the rows keep, and sorts by it.
    bool isNumeric(int column) const { return table_ && table_->isNumeric(column); }
    // That number of a row, or none (also in a column of text).
    std::optional<qint64> number(int row, int column) const;
    // One of the numbers a row keeps, whether a column shows it or not.
    std::optional<qint64> rowNumber(int row, int index) const;
    // The cell itself, as the table keeps it (the empty cell outside the table); for searching
    // big cells without decoding them.
    const CellText& cell(int row, int column) const;
    // At most limit characters from the start of a cell, without decoding the rest of a long one;
    // *whole tells whether that is all of it.
    QString cellBeginning(int row, int column, qsizetype limit, bool* whole = nullptr) const;

    // Sorting asks for millions of indexes; checking the range here spares two virtual calls each.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString displayText(int row, int column) const;

    const ResultTable* table_ = nullptr;
    QStringList headers_;
    int rowCount_ = 0;
};
