#include "resulttables.h"

#include "foundlink.h"

void ResultTables::reset()
{
    errorRowCount = 0;
    errorTable.reset(errorTableDescription());
    linkRowCount = 0;
    linkTable.reset(linkTableDescription());
    findingRowCount = 0;
    findingTable.reset(findingTableDescription());
    linkColumns_.reset();
    linkLastColumn = linkColumns_.lastColumn();
}

int ResultTables::appendErrorRow()
{
    ++errorRowCount;
    errorTable.appendRow(ErrorColumnCount);
    return errorRowCount;
}

int ResultTables::appendErrorRow(const ErrorRow& row)
{
    ++errorRowCount;
    return errorTable.appendRow(row);
}

int ResultTables::appendLinkRow(int expectedCells)
{
    ++linkRowCount;
    linkTable.appendRow(expectedCells);
    return linkRowCount;
}

int ResultTables::appendFindingRow(FindingRow cells)
{
    ++findingRowCount;
    return findingTable.appendRow(std::move(cells));
}

int ResultTables::linkColumnFor(const QString& name)
{
    const int column = linkColumns_.columnFor(name);
    if (column > linkLastColumn) {
        linkLastColumn = column;
        linkTable.setCell(column, 0, name);
    }
    return column;
}

void ResultTables::appendLinks(const QString& title, const CellText& body,
                               const std::vector<FoundLink>& links)
{
    for (const FoundLink& link : links) {
        const int row = appendLinkRow(2 + int(link.attributes.size()));
        linkTable.setCell(LinkTitleColumn, row, title);
        linkTable.setCell(LinkContentColumn, row, body);
        for (const FoundLink::Attribute& attribute : link.attributes) {
            const int column = linkColumnFor(attribute.name);
            if (column >= 0)
                linkTable.setCell(column, row,
                                  CellText::fromUtf8(link.value(attribute).toByteArray()));
        }
    }
}
