#pragma once

#include "analysis/tablecolumns.h"

#include <QString>

#include <vector>

// The width each known column header gets in the results list. Widths are in twips, the unit of
// every position and size of the window.
class ColumnWidths
{
public:
    static constexpr int defaultWidth = 2000;

    struct Entry
    {
        QString name;
        int width;
    };

    ColumnWidths();

    // The width of the first entry whose name equals header, case ignored; defaultWidth when
    // none does.
    int widthFor(const QString& header) const;
    // The width of column column, headed header, of a table: a fixed column's own, and for a
    // column named by what a run found, the first entry's whose name equals header.
    int widthFor(const TableDescription& table, int column, const QString& header) const;
    // The error table's columns in order, then the attribute names a link table often carries.
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};
