#include "resulttables.h"

#include "foundlink.h"

void ResultTables::reset()
{
    errorRowCount = 0;
    errorTable.reset(errorTableDescription());
    linkRowCount = 0;
    linkTable.reset(linkTableDescription());
    linkColumns_.reset();
    linkLastColumn = linkColumns_.lastColumn();
}

int ResultTables::appendErrorRow()
{
    ++errorRowCount;
    errorTable.appendRow(ErrorColumnCount);
    return errorRowCount;
}

int ResultTables::appendErrorRow(const ErrorRow& cells)
{
    const int row = appendErrorRow();
    // Only the cells that hold something take room in the row.
    for (int column = 0; column < ErrorColumnCount; ++column) {
        if (!cells.cells[size_t(column)].isEmpty())
            errorTable.setCell(column, row, cells.cells[size_t(column)]);
    }
    for (int index = 0; index < ErrorNumberCount; ++index)
        errorTable.setNumber(index, row, cells.numbers[size_t(index)]);
    return row;
}

int ResultTables::appendLinkRow(int expectedCells)
{
    ++linkRowCount;
    linkTable.appendRow(expectedCells);
    return linkRowCount;
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
