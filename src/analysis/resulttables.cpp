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
}

int ResultTables::appendErrorRow()
{
    ++errorRowCount;
    errorTable.appendRow();
    return errorRowCount;
}

int ResultTables::appendLinkRow()
{
    ++linkRowCount;
    linkTable.appendRow();
    return linkRowCount;
}

int ResultTables::addLinkColumn(const QString& name)
{
    if (linkLastColumn >= LinkColumnCount - 1)
        return -1;
    ++linkLastColumn;
    linkTable.setCell(linkLastColumn, 0, name);
    return linkLastColumn;
}

int ResultTables::findLinkColumn(const QString& name) const
{
    for (int column = 0; column <= linkLastColumn; ++column) {
        if (linkTable.cellText(column, 0).toString() == name)
            return column;
    }
    return -1;
}
