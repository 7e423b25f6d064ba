#include "exportposition.h"

#include "bytecount.h"

#include <cstring>

void LineCounter::advance(const char* data, qint64 size)
{
    if (size <= 0)
        return;
    // Most of an export is passed over here. Without CRs the line ends are counted by a loop
    // that takes eight bytes at a time; files with CR LF take the slower loop.
    qint64 lineEnds = 0;
    qint64 lastLineEnd = -1;
    if (!afterCarriageReturn_ && std::memchr(data, '\r', size_t(size)) == nullptr) {
        lineEnds = countByte(data, size, '\n');
        const void* last = lineEnds > 0 ? ::memrchr(data, '\n', size_t(size)) : nullptr;
        lastLineEnd = last != nullptr ? static_cast<const char*>(last) - data : -1;
    } else {
        countWithCarriageReturns(data, size, lineEnds, lastLineEnd);
    }
    // Characters are the bytes that do not continue a UTF-8 sequence.
    const qint64 tail = size - (lastLineEnd + 1);
    const qint64 characters = tail - countBytes(data + lastLineEnd + 1, tail, 0xC0, 0x80);
    position_.offset += size;
    position_.line += lineEnds;
    position_.column = (lastLineEnd >= 0 ? 1 : position_.column) + characters;
    afterCarriageReturn_ = data[size - 1] == '\r';
}

void LineCounter::countWithCarriageReturns(const char* data, qint64 size, qint64& lineEnds,
                                           qint64& lastLineEnd) const
{
    for (qint64 i = 0; i < size; ++i) {
        const char byte = data[i];
        const bool isLineEnd =
            byte == '\n' ? !(i == 0 ? afterCarriageReturn_ : data[i - 1] == '\r') : byte == '\r';
        lineEnds += isLineEnd;
        if (byte == '\n' || byte == '\r')
            lastLineEnd = i;
    }
}
