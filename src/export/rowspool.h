#pragma once

#include "outputfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QTemporaryFile>

#include <functional>

// Rows of a table file that wait in a spool file until the run is over, for what only the whole
// run decides of them (the link table's columns, the class of a URL on a host that a later item
// shows to be the site's), and then go out in their order. Each row waits as its line and a few
// bytes of what it still waits for, which are handed back with it; memory holds a block of rows
// at a time, whatever the number of rows.
class RowSpool
{
public:
    // name: the spool's hidden name in folder, ending in XXXXXX; false (with reason()) when no
    // spool can be made there.
    bool open(const QString& folder, const QString& name);
    // Forgets every row.
    void restart();
    void add(QByteArrayView waiting, QByteArrayView line);
    // Appends what finish makes of each row, in order, to output; false (with reason()) when the
    // spool could not be written or read back.
    using Finish =
        std::function<void(QByteArrayView waiting, QByteArrayView line, QByteArray& out)>;
    bool writeTo(OutputFile& output, const Finish& finish);

    qint64 rowCount() const { return rowCount_; }
    QString reason() const { return failure_.isEmpty() ? file_.errorString() : failure_; }

private:
    bool flush();

    QTemporaryFile file_;
    QByteArray pending_;
    qint64 rowCount_ = 0;
    // The first write that failed, whose reason later calls would overwrite.
    QString failure_;
};
