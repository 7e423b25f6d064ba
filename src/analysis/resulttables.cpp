#include "resulttables.h"

const QStringList& ResultTables::errorHeaders()
{
    static const QStringList headers{QStringLiteral("Post Title"), QStringLiteral("Content"),
                                     QStringLiteral("Error Code"), QStringLiteral("Reason"),
                                     QStringLiteral("Line"),       QStringLiteral("Pos"),
                                     QStringLiteral("Source"),     QStringLiteral("Narrowed")};
    return headers;
}

void ResultTables::reset()
{
    errorRowCount = 0;
    errorTable.reset(ErrorColumnCount);
    for (int column = 0; column < ErrorColumnCount; ++column)
        errorTable.setCell(column, 0, errorHeaders().at(column));
    linkRowCount = 0;
    linkTable.reset(LinkColumnCount);
    linkTable.setCell(LinkTitleColumn, 0, errorHeaders().at(ErrorTitleColumn));
    linkTable.setCell(LinkContentColumn, 0, errorHeaders().at(ErrorContentColumn));
    linkLastColumn = LinkContentColumn;
    linkColumnOf_.clear();
    leftOutAttributes.clear();
    linkColumnOf_.insert(errorHeaders().at(ErrorTitleColumn), LinkTitleColumn);
    linkColumnOf_.insert(errorHeaders().at(ErrorContentColumn), LinkContentColumn);
}

int ResultTables::appendErrorRow()
{
    ++errorRowCount;
    errorTable.appendRow(ErrorColumnCount);
    return errorRowCount;
}

int ResultTables::appendLinkRow(int expectedCells)
{
    ++linkRowCount;
    linkTable.appendRow(expectedCells);
    return linkRowCount;
}

int ResultTables::addLinkColumn(const QString& name)
{
    if (linkLastColumn >= LinkColumnCount - 1)
        return -1;
    ++linkLastColumn;
    linkTable.setCell(linkLastColumn, 0, name);
    linkColumnOf_.insert(name, linkLastColumn);
    return linkLastColumn;
}
