#pragma once

#include <QtGlobal>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Counts the bytes b of data for which (b & mask) == value, many bytes at a time: the scanners of
// the export pass over hundreds of megabytes, and a loop over single bytes is what they would
// spend most of their time in.
inline qint64 countBytes(const char* data, qint64 size, unsigned char mask, unsigned char value)
{
    constexpr quint64 ones = 0x0101010101010101ULL;
    constexpr quint64 low7 = 0x7F7F7F7F7F7F7F7FULL;
    const quint64 masks = ones * mask;
    const quint64 values = ones * value;
    qint64 count = 0;
    qint64 i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time where the processor has SSE2, as every x86-64 one does.
    const __m128i vectorMask = _mm_set1_epi8(static_cast<char>(mask));
    const __m128i vectorValue = _mm_set1_epi8(static_cast<char>(value));
    // A match is a byte of all ones, -1: subtracted, it adds one to its lane's counter. The
    // counters are summed before any could pass 255, with SSE2's sum of absolute differences,
    // since a population count is a call into the runtime library where the build may not
    // assume the processor has one.
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= size) {
        const qint64 rounds = qMin<qint64>((size - i) / 16, 255);
        __m128i counters = zero;
        for (qint64 round = 0; round < rounds; ++round, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            counters = _mm_sub_epi8(counters,
                                    _mm_cmpeq_epi8(_mm_and_si128(bytes, vectorMask), vectorValue));
        }
        const __m128i sums = _mm_sad_epu8(counters, zero);
        count += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    }
#endif
    // Eight at a time elsewhere, and for what is left.
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
