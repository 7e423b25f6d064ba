#include "columnwidths.h"

ColumnWidths::ColumnWidths()
{
    const auto& errors = errorTableDescription().columns;
    const auto& attributes = linkTableDescription().knownNames;
    for (const auto* names : {&errors, &attributes}) {
        for (const ColumnSpec& column : *names)
            entries_.push_back({column.header, column.width});
    }
}

int ColumnWidths::widthFor(const QString& header) const
{
    for (const Entry& entry : entries_) {
        if (entry.name.compare(header, Qt::CaseInsensitive) == 0)
            return entry.width;
    }
    return defaultWidth;
}

int ColumnWidths::widthFor(const TableDescription& table, int column, const QString& header) const
{
    return column >= 0 && column < table.fixedCount() ? table.columns[size_t(column)].width
                                                      : widthFor(header);
}
