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
