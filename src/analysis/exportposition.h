#pragma once

#include <QtGlobal>

// A place in the export file as its raw bytes stand: the byte offset from the start of the file,
// and the 1-based line and column an editor shows for it. Columns count characters (UTF-8 code
// points); CR LF, LF and a lone CR each end a line.
struct ExportPosition
{
    qint64 offset = -1;
    qint64 line = 0;
    qint64 column = 0;

    bool isKnown() const { return offset >= 0; }
};

// Follows line and column over raw UTF-8 bytes fed in order, in pieces of any size.
class LineCounter
{
public:
    explicit LineCounter(ExportPosition start = {0, 1, 1}) : position_(start) {}

    void advance(const char* data, qint64 size);
    const ExportPosition& position() const { return position_; }

private:
    void countWithCarriageReturns(const char* data, qint64 size, qint64& lineEnds,
                                  qint64& lastLineEnd) const;

    ExportPosition position_;
    bool afterCarriageReturn_ = false;
};
