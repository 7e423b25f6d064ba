#include "exportposition.h"

#include <cstring>

namespace {

bool isContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The LFs in data, eight bytes at a time: a byte that equals LF becomes zero, and the zero bytes
// of a word are found and counted without a branch.
qint64 countLineFeeds(const char* data, qint64 size)
{
    constexpr quint64 lineFeeds = 0x0A0A0A0A0A0A0A0AULL;
    constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7FULL;
    qint64 count = 0;
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        const quint64 x = word ^ lineFeeds;
        const quint64 zeroBytes = ~(((x & low7) + low7) | x | low7);
        // One bit per matching byte, at its top; the multiplication adds them up in the top byte.
        count += qint64(((zeroBytes >> 7) * 0x0101010101010101ULL) >> 56);
    }
    for (; i < size; ++i)
        count += data[i] == '\n';
    return count;
}

} // namespace

void LineCounter::advance(const char* data, qint64 size)
{
    if (size <= 0)
        return;
    // Most of an export is passed over here. Without CRs the line ends are counted by a loop
    // that takes eight bytes at a time; files with CR LF take the slower loop.
    qint64 lineEnds = 0;
    qint64 lastLineEnd = -1;
    if (!afterCarriageReturn_ && std::memchr(data, '\r', size_t(size)) == nullptr) {
        lineEnds = countLineFeeds(data, size);
        const void* last = lineEnds > 0 ? ::memrchr(data, '\n', size_t(size)) : nullptr;
        lastLineEnd = last != nullptr ? static_cast<const char*>(last) - data : -1;
    } else {
        countWithCarriageReturns(data, size, lineEnds, lastLineEnd);
    }
    qint64 characters = 0;
    for (qint64 i = lastLineEnd + 1; i < size; ++i)
        characters += !isContinuation(data[i]);
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
