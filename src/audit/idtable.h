#pragma once

#include "analysis/texthash.h"

#include <QHash>
#include <QString>

#include <optional>

// The value made for a key the table does not hold yet, with one look for the key.
template <typename Key, typename Value, typename Make>
void keepFirst(QHash<Key, Value>& table, const Key& key, Make&& make)
{
    const qsizetype before = table.size();
    Value& slot = table[key];
    if (table.size() != before)
        slot = make();
}

// A table by item ID. IDs are decimal numbers in nearly every export: kept as numbers, a table of
// hundreds of thousands holds no text of its own, and is looked up, grown and freed without
// reading any. An ID written otherwise ("0123", " 12", "draft-7") is kept as its text, apart,
// so that two IDs are the same entry exactly when their texts are equal.
template <typename Value> class IdTable
{
public:
    const Value* find(const QString& id) const
    {
        if (const std::optional<quint64> number = numberOf(id)) {
            const auto found = numbers_.constFind({*number});
            return found != numbers_.constEnd() ? &*found : nullptr;
        }
        const auto found = others_.constFind({id});
        return found != others_.constEnd() ? &*found : nullptr;
    }

    // Keeps make()'s value for an ID that has none yet, with one look for the ID.
    template <typename Make> void keepFirst(const QString& id, Make&& make)
    {
        if (const std::optional<quint64> number = numberOf(id))
            ::keepFirst(numbers_, Number{*number}, make);
        else
            ::keepFirst(others_, HashedString{id}, make);
    }

private:
    // IDs mostly come in ascending runs: hashed so that sixty-four IDs in a row fall into
    // neighbouring buckets, the table is read and written where it was last, not at random
    // across megabytes, while runs far apart scatter as any other keys.
    struct Number
    {
        quint64 value;
        friend bool operator==(Number a, Number b) noexcept { return a.value == b.value; }
        friend size_t qHash(Number number, size_t seed) noexcept
        {
            constexpr quint64 inRun = 63;
            return (qHash(number.value >> 6, seed) & ~size_t(inRun)) | size_t(number.value & inRun);
        }
    };

    // The value of a number written as numbers are, without sign, space or leading zero: such a
    // text is the only one that has its value.
    static std::optional<quint64> numberOf(const QString& id)
    {
        constexpr qsizetype digitsAtMost = 19; // every number of 19 digits fits in 64 bits
        if (id.isEmpty() || id.size() > digitsAtMost || (id.size() > 1 && id.front() == u'0'))
            return std::nullopt;
        quint64 value = 0;
        for (const QChar c : id) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c.unicode() - u'0');
        }
        return value;
    }

    QHash<Number, Value> numbers_;
    QHash<HashedString, Value> others_;
};
