#pragma once

#include "exportposition.h"
#include "markuplexer.h"

#include <QByteArray>
#include <QIODevice>

// Reads an export's raw bytes forward from a place, finding its tags as the markup lexer does:
// over comments, CDATA sections, processing instructions, declarations and quoted attribute
// values, with a '<' that cannot start markup taken for text. The reader uses it only
// after libxml2 has stopped at a break, to find where the items around it lie in the file.
class RawScan
{
public:
    RawScan(QIODevice& file, ExportPosition start);

    struct Tag
    {
        ExportPosition start; // of its '<'
        QByteArray name;
        bool closing = false;
        bool empty = false; // `<name/>`, or a start tag that a '<' cuts short
    };
    // The next start, end or empty-element tag; false at the end of the file.
    bool nextTag(Tag& tag);
    // Passes the next occurrence of text; false when the file ends first.
    bool skipPast(QByteArrayView text);
    // The place of the next byte.
    ExportPosition position();

private:
    // Makes at least count bytes from the current one available; false when the file ends first.
    bool need(qsizetype count);
    QByteArrayView rest() const { return QByteArrayView(buffer_).sliced(at_); }
    void countTo(qsizetype index);

    QIODevice& file_;
    QByteArray buffer_;
    qsizetype at_ = 0;      // the current byte in buffer_
    qsizetype counted_ = 0; // the bytes of buffer_ that counter_ has passed
    LineCounter counter_;
    bool ended_ = false;
    MarkupLexer lexer_;
    ExportPosition tagStart_;
};
