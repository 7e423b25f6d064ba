#pragma once

#include "analysis/resulttable.h"

#include <QIODevice>
#include <QString>

#include <vector>

// The longest leading part of text that holds no character above 255; a character above U+FFFF
// cuts the text at its first surrogate.
QString getToFirstBadChr(const QString& text);

// Which part of a result table is written: columns 0 to lastColumn, rows 0 to rowCount.
struct TableExtent
{
    const ResultTable& table;
    int lastColumn;
    int rowCount;
    // When set, the data rows written instead of 1 to rowCount, in this order.
    const std::vector<int>* rows = nullptr;
};

enum class TextEncoding
{
    // One byte per character; data cells cut at their first character above 255.
    Latin1,
    // Every cell whole, after a byte-order mark: without one, spreadsheets read a text file as
    // the system's code page and garble every accented letter.
    Utf8,
};

// Writes the table as tab-delimited ISO-8859-1 text: the header row whole (a header character
// above 255 becomes '?'), then every data row with its cells cut by getToFirstBadChr and the
// Content column left empty; CR LF after every line; nothing quoted. Returns false when the device
// refused a write. In UTF-8 the same lines are written with nothing cut.
bool writeTabDelimited(QIODevice& device, const TableExtent& extent,
                       TextEncoding encoding = TextEncoding::Latin1);

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

// Writes the table to the file at path. The file appears only once it is complete: a failed
// export leaves no partial file and leaves a file already at that path as it was.
ExportResult exportTabDelimited(const QString& path, const TableExtent& extent,
                                TextEncoding encoding = TextEncoding::Latin1);
