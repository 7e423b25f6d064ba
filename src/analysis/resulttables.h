#pragma once

#include "resulttable.h"

#include <QHash>
#include <QMap>
#include <QStringList>

// Columns of the error table.
enum ErrorColumn
{
    ErrorTitleColumn,
    ErrorContentColumn,
    ErrorCodeColumn,
    ErrorReasonColumn,
    ErrorLineColumn,
    ErrorPosColumn,
    ErrorSourceColumn,
    ErrorNarrowedColumn,
    ErrorColumnCount
};

// The fixed columns of the link table; attribute columns follow from LinkFirstAttributeColumn.
enum LinkColumn
{
    LinkTitleColumn,
    LinkContentColumn,
    LinkFirstAttributeColumn,
    LinkColumnCount = 24
};

// Both tables start with the post's title and body, so that whatever reads a row of either (the
// list, the panel, the export that leaves bodies out) finds them in the same place.
inline constexpr int TitleColumn = 0;
inline constexpr int BodyColumn = 1;
static_assert(ErrorTitleColumn == TitleColumn && LinkTitleColumn == TitleColumn);
static_assert(ErrorContentColumn == BodyColumn && LinkContentColumn == BodyColumn);

// The two results of an analysis run and their counters. Before the first run no table exists
// and all counters are 0; a run starts with reset().
struct ResultTables
{
    static const QStringList& errorHeaders();

    ResultTable errorTable;
    ResultTable linkTable;
    qint32 errorRowCount = 0;
    qint32 linkRowCount = 0;
    qint32 linkLastColumn = 0;
    // How many values of each attribute name were left out because no column was left for it.
    QMap<QString, qint64> leftOutAttributes;

    bool exist() const { return errorTable.rowCount() > 0; }

    void reset();
    // Each returns the index of the new row.
    int appendErrorRow();
    int appendLinkRow(int expectedCells = 0);
    // Adds a column headed name while there is room; returns its index, or -1 when all 22
    // attribute columns are taken.
    int addLinkColumn(const QString& name);
    // The column headed exactly name (case-sensitive), searching columns 0 to linkLastColumn,
    // or -1.
    int findLinkColumn(const QString& name) const { return linkColumnOf_.value(name, -1); }

private:
    // Every attribute of every link is looked up here; a hash keeps that off the run's critical
    // path, which scanning up to 24 headers was not.
    QHash<QString, int> linkColumnOf_;
};
