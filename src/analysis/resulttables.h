#pragma once

#include "linkcolumns.h"
#include "resulttable.h"
#include "tablerows.h"

#include <QStringList>

// The results of an analysis run and their counters. Before the first run no table exists and
// all counters are 0; a run starts with reset().
struct ResultTables
{
    ResultTable errorTable;
    ResultTable linkTable;
    ResultTable findingTable;
    qint32 errorRowCount = 0;
    qint32 linkRowCount = 0;
    qint32 findingRowCount = 0;
    qint32 linkLastColumn = 0;

    bool exist() const { return errorTable.rowCount() > 0; }

    void reset();
    // Each returns the index of the new row.
    int appendErrorRow();
    int appendErrorRow(const ErrorRow& row);
    int appendLinkRow(int expectedCells = 0);
    int appendFindingRow(FindingRow row);
    // Appends one row per link, each attribute's value in its name's column.
    void appendLinks(const QString& title, const CellText& body,
                     const std::vector<FoundLink>& links);
    // The column of the attribute name, added to the link table while there is room; -1 when
    // every attribute column is taken (the value is then counted in leftOutAttributes()).
    int linkColumnFor(const QString& name);
    // The column headed exactly name (case-sensitive), searching columns 0 to linkLastColumn,
    // or -1.
    int findLinkColumn(const QString& name) const { return linkColumns_.find(name); }
    // How many values of each attribute name were left out because no column was left for it.
    const QMap<QString, qint64>& leftOutAttributes() const { return linkColumns_.leftOut(); }

private:
    LinkColumns linkColumns_;
};
