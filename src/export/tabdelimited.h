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

// One field of a table file, appended to line: a header field whole (in ISO-8859-1 a character
// above 255 becomes '?'), a data field cut by getToFirstBadChr in ISO-8859-1 and whole in UTF-8.
// Every writer of table files formats its fields through these, so that all of them write the
// same bytes; a UTF-8 table starts with appendByteOrderMark.
void appendByteOrderMark(QByteArray& line, TextEncoding encoding);
void appendHeaderField(QByteArray& line, const QString& text, TextEncoding encoding);
void appendDataField(QByteArray& line, const QString& text, TextEncoding encoding);
// The same for a cell held as UTF-8; in ISO-8859-1 without a detour through UTF-16: the cut falls
// on the first character above 255, or on the first byte that is not valid UTF-8 (which reads as
// U+FFFD).
void appendDataFieldUtf8(QByteArray& line, QByteArrayView utf8, TextEncoding encoding);

// Writes the table as tab-delimited ISO-8859-1 text: the header row whole (a header character
// above 255 becomes '?'), then every data row with its cells cut by getToFirstBadChr and the
// Content column left empty; CR LF after every line; nothing quoted, and a TAB, CR or LF inside a
// cell written as a space, so that every line is one row of the same number of fields. Returns
// false when the device refused a write.
// In UTF-8 the same lines are written with nothing cut.
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

// Whether the system's error refuses the write rather than failing it.
bool isPermissionError(int error);

// Writes the table to the file at path, as an OutputFile writes (see outputfile.h): a failed export
// leaves no partial file and leaves a file already at that path as it was.
// Whether the path may be written at all (it is not the file being analysed) is the caller's
// question: findOutputClash answers it.
ExportResult exportTabDelimited(const QString& path, const TableExtent& extent,
                                TextEncoding encoding = TextEncoding::Latin1);
