#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstring>

// Qt 6.4 hashes texts with AES instructions where the processor has them, and on some it pays
// for that far beyond the hash itself: on the development machine's Xeon, one lookup in a
// QHash<QString, int> takes some 200 to 400 ns, against 25 ns with the hash below. The tables
// that are looked up for every attribute, link, URL or item hash their keys with this one: a
// multiply-and-shift mix of each eight bytes and the length. QHash passes it the process's
// random seed, so that an export cannot be made to collide without knowing that.
inline size_t textHash(const void* data, size_t size, size_t seed) noexcept
{
    constexpr quint64 multiplier = 0x9e3779b97f4a7c15ULL;
    const auto mix = [](quint64 value) {
        value ^= value >> 32;
        value *= 0xd6e8feb86659fd93ULL;
        return value ^ (value >> 32);
    };
    const auto* bytes = static_cast<const unsigned char*>(data);
    quint64 hash = mix(quint64(seed) ^ (quint64(size) * multiplier));
    for (; size >= 8; size -= 8, bytes += 8) {
        quint64 word;
        std::memcpy(&word, bytes, 8);
        hash = mix(hash ^ word) * multiplier;
    }
    quint64 tail = 0;
    if (size > 0)
        std::memcpy(&tail, bytes, size);
    return size_t(mix(hash ^ tail ^ (quint64(size) << 59)));
}

// A QHash or QSet key hashed so.
template <typename Text> struct HashedText
{
    Text text;

    friend bool operator==(const HashedText& a, const HashedText& b) noexcept
    {
        return a.text == b.text;
    }
    friend size_t qHash(const HashedText& key, size_t seed) noexcept
    {
        return textHash(key.text.constData(),
                        size_t(key.text.size()) * sizeof(*key.text.constData()), seed);
    }
};

using HashedBytes = HashedText<QByteArray>;
using HashedString = HashedText<QString>;
