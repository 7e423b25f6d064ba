#include "columnwidths.h"

namespace {

constexpr std::array<int, ErrorColumnCount> errorColumnWidths{
    2000, // Post Title
    2000, // Content
    1200, // Error Code
    1000, // Reason
    500,  // Line
    500,  // Pos
    1000, // Source
    1300, // Narrowed
};

} // namespace

ColumnWidths::ColumnWidths()
{
    const QStringList& errorHeaders = ResultTables::errorHeaders();
    for (int column = 0; column < ErrorColumnCount; ++column)
        entries_[size_t(column)] = {errorHeaders.at(column), errorColumnWidths[size_t(column)]};
    const std::array<Entry, attributeEntryCount> attributes{{{QStringLiteral("href"), 2000},
                                                             {QStringLiteral("src"), 2000},
                                                             {QStringLiteral("alt"), 2000},
                                                             {QStringLiteral("align"), 800},
                                                             {QStringLiteral("height"), 800},
                                                             {QStringLiteral("width"), 800},
                                                             {QStringLiteral("rel"), 800},
                                                             {QStringLiteral("title"), 2000},
                                                             {QStringLiteral("target"), 800},
                                                             {QStringLiteral("style"), 1200},
                                                             {QStringLiteral("class"), 1000}}};
    std::copy(attributes.begin(), attributes.end(), entries_.begin() + ErrorColumnCount);
}

int ColumnWidths::widthFor(const QString& header) const
{
    for (const Entry& entry : entries_) {
        if (entry.name.compare(header, Qt::CaseInsensitive) == 0)
            return entry.width;
    }
    return defaultWidth;
}
