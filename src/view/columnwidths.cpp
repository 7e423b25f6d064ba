#include "columnwidths.h"

// The first eight are the error table's columns in order; the rest are attribute names the link
// table may carry.
ColumnWidths::ColumnWidths()
    : entries_{{{QStringLiteral("Post Title"), 2000},
                {QStringLiteral("Content"), 2000},
                {QStringLiteral("Error Code"), 1200},
                {QStringLiteral("Reason"), 1000},
                {QStringLiteral("Line"), 500},
                {QStringLiteral("Pos"), 500},
                {QStringLiteral("Source"), 1000},
                {QStringLiteral("Narrowed"), 1300},
                {QStringLiteral("href"), 2000},
                {QStringLiteral("src"), 2000},
                {QStringLiteral("alt"), 2000},
                {QStringLiteral("align"), 800},
                {QStringLiteral("height"), 800},
                {QStringLiteral("width"), 800},
                {QStringLiteral("rel"), 800},
                {QStringLiteral("title"), 2000},
                {QStringLiteral("target"), 800},
                {QStringLiteral("style"), 1200},
                {QStringLiteral("class"), 1000}}}
{}

int ColumnWidths::widthFor(const QString& header) const
{
    for (const Entry& entry : entries_) {
        if (entry.name.compare(header, Qt::CaseInsensitive) == 0)
            return entry.width;
    }
    return defaultWidth;
}
