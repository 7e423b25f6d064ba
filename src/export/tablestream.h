#pragma once

#include "outputfile.h"
#include "rowspool.h"
#include "tabdelimited.h"

#include "analysis/foundlink.h"
#include "analysis/linkcolumns.h"
#include "analysis/tablerows.h"

#include <functional>
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

// The same table with its rows held in a spool until the run is over (the URL inventory), for a
// cell that only the whole run decides: it waits as written so far, with the key that settles it.
class SpooledTableStream
{
public:
    SpooledTableStream(const TableDescription& table, TextEncoding encoding);
    // spoolFolder: where the rows wait; false (with reason()) when no spool can be made there.
    bool open(const QString& spoolFolder);
    // waitingColumn: the cell that key settles at the end, or -1.
    void addRow(std::span<const CellText> cells, int waitingColumn = -1, QByteArrayView key = {});
    // Forgets every row, for a run whose rows are to be dropped.
    void restart() { spool_.restart(); }
    // A waiting cell's text by its key; a null string keeps the cell as it was written.
    using Settle = std::function<QString(QByteArrayView key)>;
    // Writes the header and every row, each waiting cell settled, to output.
    bool writeTo(OutputFile& output, const Settle& settle);

    QString reason() const { return spool_.reason(); }

private:
    const TableDescription& table_;
    TextEncoding encoding_;
    RowSpool spool_;
    QByteArray line_;
    QByteArray waiting_;
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

    qint64 rowCount() const { return spool_.rowCount(); }
    const LinkColumns& columns() const { return columns_; }
    QString reason() const { return spool_.reason(); }

private:
    RowSpool spool_;
    // Kept from row to row, so that each row is built without allocating.
    QByteArray line_;
    QByteArray title_;
    TextEncoding encoding_;
    LinkColumns columns_;
};
