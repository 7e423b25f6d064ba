#pragma once

#include "outputfile.h"
#include "tabdelimited.h"

#include "analysis/linkcollector.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QTemporaryFile>

#include <vector>

// The error table written row by row as posts are checked, byte for byte what the window's
// Export writes for the same run: the header line first, then one line per post.
class ErrorTableStream
{
public:
    struct Row
    {
        QString title;
        int errorCode = 0;
        QString reason;
        int line = 0;
        int pos = 0;
        QString source;
        QString narrowed;
    };

    // Writes the header line.
    explicit ErrorTableStream(OutputFile& output, TextEncoding encoding = TextEncoding::Latin1);
    void addRow(const Row& row);
    // Starts again from the header line, for a run whose rows are to be dropped; rows already
    // given to a stream stay there.
    void restart();

private:
    void writeHeader();

    OutputFile& output_;
    TextEncoding encoding_;
    QByteArray line_;
};

// The link table's columns, chosen exactly as the window's link table chooses them: the order the
// run first meets each attribute name, until every attribute column is taken; the values of
// further names are left out, and counted per name.
class LinkColumns
{
public:
    LinkColumns() { reset(); }
    void reset();
    // The column of name, or -1 when it is left out.
    int columnFor(const QString& name);
    void note(const std::vector<FoundLink>& links);

    const QStringList& headers() const { return headers_; }
    const QMap<QString, qint64>& leftOut() const { return leftOut_; }

private:
    QStringList headers_;
    QHash<QString, int> columnOf_;
    QMap<QString, qint64> leftOut_;
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
