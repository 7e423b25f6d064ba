#pragma once

#include "outputfile.h"
#include "tabdelimited.h"

#include "analysis/foundlink.h"
#include "analysis/linkcolumns.h"
#include "analysis/tablerows.h"

#include <QTemporaryFile>

#include <span>
#include <vector>

// A table of fixed columns (the error table) written row by row as posts are checked, byte for
// byte what the window's Export writes for the same run: the header line first, then one line per
// row, its cells in the order its description gives the columns.
class TableStream
{
public:
    // Writes the header line.
    TableStream(OutputFile& output, const TableDescription& table,
                TextEncoding encoding = TextEncoding::Latin1);
    void addRow(std::span<const CellText> cells);
    template <int Columns, int Numbers> void addRow(const TableRow<Columns, Numbers>& row)
    {
        addRow(std::span<const CellText>(row.cells));
    }
    // Starts again from the header line, for a run whose rows are to be dropped; rows already
    // given to a stream stay there.
    void restart();

private:
    void writeHeader();

    OutputFile& output_;
    const TableDescription& table_;
    TextEncoding encoding_;
    QByteArray line_;
};

// The link table written as posts are checked. Its header names the attribute columns in the
// order the run meets them, which is known only at the end, so the rows wait in a spool file
// beside the output and follow the header when the run is over. Columns are chosen exactly as
// the window's link table chooses them, so the file is the same.
class LinkTableStream
{
public:
    explicit LinkTableStream(TextEncoding encoding = TextEncoding::Latin1) : encoding_(encoding) {}
    // spoolFolder: where the rows wait; false (with reason()) when no spool can be made there.
    bool open(const QString& spoolFolder);
    void addLinks(const QString& title, const std::vector<FoundLink>& links);
    // Forgets every row and column, for a run whose rows are to be dropped.
    void restart();
    // Writes the header and every row to output.
    bool writeTo(OutputFile& output);

    qint64 rowCount() const { return rowCount_; }
    const LinkColumns& columns() const { return columns_; }
    QString reason() const { return spool_.errorString(); }

private:
    bool flushSpool();

    QTemporaryFile spool_;
    QByteArray pending_;
    // Kept from row to row, so that each row is built without allocating.
    QByteArray line_;
    QByteArray title_;
    TextEncoding encoding_;
    LinkColumns columns_;
    qint64 rowCount_ = 0;
    bool spoolFailed_ = false;
};
