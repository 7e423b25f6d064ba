#pragma once

#include <QtGlobal>

#include <cstring>

// Counts the bytes b of data for which (b & mask) == value, eight bytes at a time: the scanners
// of the export pass over hundreds of megabytes, and a loop over single bytes is what they would
// spend most of their time in.
inline qint64 countBytes(const char* data, qint64 size, unsigned char mask, unsigned char value)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7FULL;
    const quint64 masks = ones * mask;
    const quint64 values = ones * value;
    qint64 count = 0;
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        // A matching byte becomes zero; the zero bytes of a word are found without a branch, one
        // bit at the top of each, and the multiplication adds those bits up in the top byte.
        const quint64 x = (word & masks) ^ values;
        const quint64 zeroBytes = ~(((x & low7) + low7) | x | low7);
        count += qint64(((zeroBytes >> 7) * ones) >> 56);
    }
    for (; i < size; ++i)
        count += (static_cast<unsigned char>(data[i]) & mask) == value;
    return count;
}

inline qint64 countByte(const char* data, qint64 size, char byte)
{
    return countBytes(data, size, 0xFF, static_cast<unsigned char>(byte));
}
