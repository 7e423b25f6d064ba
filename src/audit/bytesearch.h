#pragma once

#include <QByteArrayView>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where needle (two bytes or more) first stands in text at or after from, or -1. The scanner
// looks for a few short needles over every body; a general search spends more on setting up
// each call than on the bytes. Sixteen places are tried at a time for the needle's first and
// last byte, and only where both match are the bytes between compared.
inline qsizetype findBytes(QByteArrayView text, qsizetype from, QByteArrayView needle)
{
    const char* data = text.data();
    const qsizetype size = needle.size();
    const qsizetype lastStart = text.size() - size;
    qsizetype i = qMax<qsizetype>(from, 0);
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    for (; i + 15 <= lastStart; i += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + size - 1));
        auto candidates = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
        for (; candidates != 0; candidates &= candidates - 1) {
            const qsizetype at = i + __builtin_ctz(candidates);
            if (std::memcmp(data + at + 1, needle.data() + 1, size_t(size - 2)) == 0)
                return at;
        }
    }
#endif
    for (; i <= lastStart; ++i) {
        if (data[i] == needle.front() && std::memcmp(data + i, needle.data(), size_t(size)) == 0)
            return i;
    }
    return -1;
}
