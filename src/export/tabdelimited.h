#pragma once

#include "analysis/resulttable.h"

#include <QIODevice>
#include <QString>

// The longest leading part of text that holds no character above 255; a character above U+FFFF
// cuts the text at its first surrogate.
QString getToFirstBadChr(const QString& text);

// Which part of a result table is written: columns 0 to lastColumn, rows 0 to rowCount.
struct TableExtent
{
    const ResultTable& table;
    int lastColumn;
    int rowCount;
};

// Writes the table as tab-delimited ISO-8859-1 text: the header row whole (a header character
// above 255 becomes '?'), then every data row with its cells cut by getToFirstBadChr and the
// Content column left empty; CR LF after every line; nothing quoted, and a TAB, CR or LF inside a
// cell written as a space, so that every line is one row of the same number of fields. Returns
// false when the device refused a write.
bool writeTabDelimited(QIODevice& device, const TableExtent& extent);

struct ExportResult
{
    enum Status
    {
        Written,
        PermissionDenied,
        Failed
    };
    Status status = Failed;
    // The system's reason when the status is Failed.
    QString reason;
};

// Writes the table to the file at path. A regular file appears only once it is complete: a failed
// export leaves no partial file and leaves a file already at that path as it was. A device, a pipe
// or the process's own standard output or error is written where it stands (see outputpaths.h).
// Whether the path may be written at all (it is not the file being analysed) is the caller's
// question: findOutputClash answers it.
ExportResult exportTabDelimited(const QString& path, const TableExtent& extent);
