#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The result tables start with the post's title and body, so that whatever reads a row of
// any (the list, the panel, the export that leaves bodies out) finds them in the same place.
inline constexpr int TitleColumn = 0;
inline constexpr int BodyColumn = 1;

// What a column of a result table is: its header, its width in the results list (in twips, the
// window's unit) and, for a column of numbers, which of the numbers its rows keep beside their
// cells it shows. A column of numbers sorts by them; any other sorts by its text.
struct ColumnSpec
{
    QString header;
    int width = 2000;
    int number = -1;
};

// The columns of one result table. A table may leave room after its fixed columns for columns
// named by what a run finds (the link table's attribute names); knownNames gives the widths of
// the names a run often finds there.
struct TableDescription
{
    std::vector<ColumnSpec> columns;
    int columnLimit = 0;
    // How many numbers each row keeps beside its cells.
    int numberCount = 0;
    std::vector<ColumnSpec> knownNames;
    // The column that holds the post's body, which table files leave empty and the row view
    // shows apart; -1 when there is none.
    int bodyColumn = BodyColumn;

    int fixedCount() const { return int(columns.size()); }
    QStringList headers() const;
    // The number column shows, or -1 when it sorts as text.
    int numberOf(int column) const;
};

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

// The numbers an error row keeps: those its columns show, and where the fault lies in the body's
// UTF-8 bytes (-1 when it parsed or the place is not known), which the row view marks.
enum ErrorNumber
{
    ErrorCodeNumber,
    ErrorLineNumber,
    ErrorPosNumber,
    ErrorBodyOffsetNumber,
    ErrorNumberCount
};

// The fixed columns of the link table; attribute columns follow from LinkFirstAttributeColumn.
enum LinkColumn
{
    LinkTitleColumn,
    LinkContentColumn,
    LinkFirstAttributeColumn,
    LinkColumnCount = 24
};

// Columns of the table of the audit's findings: as many as the detail panel has slots, so that it
// shows a finding whole. Line and Column are the finding's place in the export file, as the
// report prints it, so that a findings file leads to the place in the export; the element and
// attribute a finding names are part of its detail.
enum FindingColumn
{
    FindingTitleColumn,
    FindingContentColumn,
    FindingCheckColumn,
    FindingSeverityColumn,
    FindingSubjectColumn,
    FindingLineColumn,
    FindingColumnColumn,
    FindingDetailColumn,
    FindingColumnCount
};

// The numbers a finding row keeps: its place in the export, which its columns show, and its place
// in the post's body, which the row view marks (0 when it has none).
enum FindingNumber
{
    FindingLineNumber,
    FindingColumnNumber,
    FindingBodyLineNumber,
    FindingBodyColumnNumber,
    FindingNumberCount
};

static_assert(ErrorTitleColumn == TitleColumn && LinkTitleColumn == TitleColumn);
static_assert(ErrorContentColumn == BodyColumn && LinkContentColumn == BodyColumn);
static_assert(FindingTitleColumn == TitleColumn && FindingContentColumn == BodyColumn);
static_assert(int(FindingColumnCount) == int(ErrorColumnCount));

const TableDescription& errorTableDescription();
const TableDescription& linkTableDescription();
const TableDescription& findingTableDescription();
