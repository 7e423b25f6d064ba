#include "tablecolumns.h"

QStringList TableDescription::headers() const
{
    QStringList names;
    for (const ColumnSpec& column : columns)
        names.append(column.header);
    return names;
}

int TableDescription::numberOf(int column) const
{
    return column >= 0 && column < fixedCount() ? columns[size_t(column)].number : -1;
}

const TableDescription& errorTableDescription()
{
    static const TableDescription table{{{QStringLiteral("Post Title"), 2000},
                                         {QStringLiteral("Content"), 2000},
                                         {QStringLiteral("Error Code"), 1200, ErrorCodeNumber},
                                         {QStringLiteral("Reason"), 1000},
                                         {QStringLiteral("Line"), 500, ErrorLineNumber},
                                         {QStringLiteral("Pos"), 500, ErrorPosNumber},
                                         {QStringLiteral("Source"), 1000},
                                         {QStringLiteral("Narrowed"), 1300}},
                                        ErrorColumnCount,
                                        ErrorNumberCount,
                                        {}};
    return table;
}

const TableDescription& linkTableDescription()
{
    const auto& errors = errorTableDescription().columns;
    static const TableDescription table{{errors[ErrorTitleColumn], errors[ErrorContentColumn]},
                                        LinkColumnCount,
                                        0,
                                        {{QStringLiteral("href"), 2000},
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
    return table;
}

const TableDescription& findingTableDescription()
{
    const auto& errors = errorTableDescription().columns;
    static const TableDescription table{{errors[ErrorTitleColumn],
                                         errors[ErrorContentColumn],
                                         {QStringLiteral("Check"), 1600},
                                         {QStringLiteral("Severity"), 900},
                                         {QStringLiteral("Subject"), 2400},
                                         {QStringLiteral("Line"), 600, FindingLineNumber},
                                         {QStringLiteral("Column"), 700, FindingColumnNumber},
                                         {QStringLiteral("Detail"), 3000}},
                                        FindingColumnCount,
                                        FindingNumberCount,
                                        {}};
    return table;
}
