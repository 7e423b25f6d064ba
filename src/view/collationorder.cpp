#include "collationorder.h"

#include <unicode/ucol.h>

#include <QThread>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <system_error>
#include <thread>

namespace {

// Keys are built from at most this many UTF-16 units of a text, so that sorting by a column of
// whole post bodies costs bounded memory; texts whose keys cannot decide are compared whole.
constexpr qsizetype keyTextLimit = 96;

struct CollatorCloser
{
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
using Collator = std::unique_ptr<UCollator, CollatorCloser>;

QByteArray icuLocaleName(const QLocale& locale)
{
    // The C locale says nothing about collation; the Unicode default order (English uses it
    // untailored) is what a user of a list expects there.
    const QLocale effective = locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
    return effective.bcp47Name().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
}

// The settings QCollator gives ICU for a case-insensitive comparison.
Collator openCollator(const QByteArray& localeName)
{
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open(localeName.constData(), &status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(ucol_open("", &status));
    }
    if (!collator)
        return collator;
    ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator.get(), UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return collator;
}

// The sort key of one row; its bytes sit in the arena of the thread that built it, so that a
// million keys cost a few large allocations and sorting moves small plain records.
struct RowKey
{
    quint64 prefix = 0; // the first bytes of the key's primary level, big-endian, zero-padded
    quint32 offset = 0;
    quint32 size = 0; // with the terminating NUL
    int row = 0;
    quint16 arena = 0;
    bool truncated = false;
};

// The primary-level part of a key: the bytes before ICU's level separator.
QByteArrayView primaryPart(QByteArrayView key)
{
    const qsizetype separator = key.indexOf('\x01');
    return separator < 0 ? key : key.first(separator);
}

void buildKeys(const Collator& collator, const std::function<QString(int)>& textOfRow,
               std::vector<RowKey>& keys, size_t begin, size_t end, quint16 arenaIndex,
               std::vector<char>& arena)
{
    std::vector<char> buffer(256);
    for (size_t i = begin; i < end; ++i) {
        RowKey& key = keys[i];
        key.row = int(i);
        key.arena = arenaIndex;
        const QString text = textOfRow(int(i));
        key.truncated = text.size() > keyTextLimit;
        const auto* units = reinterpret_cast<const UChar*>(text.utf16());
        const auto length = int32_t(std::min(text.size(), keyTextLimit));
        const auto fill = [&] {
            return ucol_getSortKey(collator.get(), units, length,
                                   reinterpret_cast<uint8_t*>(buffer.data()),
                                   int32_t(buffer.size()));
        };
        int32_t size = fill();
        if (size_t(size) > buffer.size()) {
            buffer.resize(size_t(size));
            size = fill();
        }
        key.offset = quint32(arena.size());
        key.size = quint32(size);
        arena.insert(arena.end(), buffer.begin(), buffer.begin() + size);
        const QByteArrayView primary = primaryPart(QByteArrayView(buffer.data(), size));
        for (qsizetype b = 0; b < 8; ++b)
            key.prefix = (key.prefix << 8) | (b < primary.size() ? quint8(primary[b]) : 0);
    }
}

using Arenas = std::vector<std::vector<char>>;

// Builds the keys of all rows, the larger tables on several threads, each with its own collator.
Arenas buildAllKeys(const Collator& mainCollator, const QByteArray& localeName,
                    const std::function<QString(int)>& textOfRow, std::vector<RowKey>& keys)
{
    const size_t rowCount = keys.size();
    const size_t threadCount = std::clamp<size_t>(size_t(QThread::idealThreadCount()), 1,
                                                  std::max<size_t>(1, rowCount / 5000));
    Arenas arenas(threadCount);
    std::vector<std::thread> threads;
    const size_t share = (rowCount + threadCount - 1) / threadCount;
    const auto build = [&](const Collator& collator, size_t t) {
        buildKeys(collator, textOfRow, keys, t * share, std::min(rowCount, (t + 1) * share),
                  quint16(t), arenas[t]);
    };
    threads.reserve(threadCount);
    size_t started = 1;
    try {
        for (; started < threadCount; ++started) {
            threads.emplace_back([&, t = started] {
                const Collator collator = openCollator(localeName);
                if (collator)
                    build(collator, t);
            });
        }
    } catch (const std::system_error&) {
        // No thread to be had (a limit, or no memory for its stack): this one builds the rest.
    }
    for (size_t t = started; t < threadCount; ++t)
        build(mainCollator, t);
    build(mainCollator, 0);
    for (std::thread& thread : threads)
        thread.join();
    return arenas;
}

// Negative, zero or positive as a collates before, with or after b.
struct KeyComparison
{
    const Arenas& arenas;
    const Collator& collator;
    const std::function<QString(int)>& textOfRow;

    QByteArrayView bytesOf(const RowKey& key) const
    {
        return QByteArrayView(arenas[key.arena].data() + key.offset, key.size);
    }

    int operator()(const RowKey& a, const RowKey& b) const
    {
        if (!a.truncated && !b.truncated) {
            // Zero-padding the primary level keeps the prefixes in the order of the whole keys.
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix ? -1 : 1;
            return std::strcmp(bytesOf(a).data(), bytesOf(b).data());
        }
        // A key of a cut text only decides at the primary level, and only where the two differ
        // before either ends: anything else may be overruled by the rest of the texts.
        const QByteArrayView primaryA = primaryPart(bytesOf(a));
        const QByteArrayView primaryB = primaryPart(bytesOf(b));
        const qsizetype common = std::min(primaryA.size(), primaryB.size());
        const int decided = std::memcmp(primaryA.data(), primaryB.data(), size_t(common));
        if (decided != 0)
            return decided;
        const QString textA = textOfRow(a.row);
        const QString textB = textOfRow(b.row);
        return int(ucol_strcoll(
            collator.get(), reinterpret_cast<const UChar*>(textA.utf16()), int32_t(textA.size()),
            reinterpret_cast<const UChar*>(textB.utf16()), int32_t(textB.size())));
    }
};

} // namespace

std::vector<int> collationOrder(int rowCount, const std::function<QString(int row)>& textOfRow,
                                Qt::SortOrder order, const QLocale& locale)
{
    std::vector<int> rows(size_t(std::max(rowCount, 0)));
    std::iota(rows.begin(), rows.end(), 0);
    const QByteArray localeName = icuLocaleName(locale);
    Collator mainCollator = openCollator(localeName);
    if (rows.empty() || !mainCollator)
        return rows;

    std::vector<RowKey> keys(rows.size());
    const Arenas arenas = buildAllKeys(mainCollator, localeName, textOfRow, keys);
    const KeyComparison compare{arenas, mainCollator, textOfRow};
    const bool descending = order == Qt::DescendingOrder;
    std::sort(keys.begin(), keys.end(), [&](const RowKey& a, const RowKey& b) {
        const int result = compare(a, b);
        if (result != 0)
            return descending ? result > 0 : result < 0;
        return a.row < b.row;
    });
    for (size_t i = 0; i < keys.size(); ++i)
        rows[i] = keys[i].row;
    return rows;
}

std::vector<int> numericOrder(int rowCount,
                              const std::function<std::optional<qint64>(int row)>& numberOfRow,
                              Qt::SortOrder order)
{
    struct Key
    {
        bool isNumber;
        qint64 value;
        int row;
    };
    std::vector<Key> keys(size_t(std::max(rowCount, 0)));
    for (int row = 0; row < rowCount; ++row) {
        const std::optional<qint64> value = numberOfRow(row);
        keys[size_t(row)] = {value.has_value(), value.value_or(0), row};
    }
    const bool descending = order == Qt::DescendingOrder;
    std::sort(keys.begin(), keys.end(), [descending](const Key& a, const Key& b) {
        const auto rank = [](const Key& k) { return std::pair(k.isNumber, k.value); };
        if (rank(a) != rank(b))
            return descending ? rank(a) > rank(b) : rank(a) < rank(b);
        return a.row < b.row;
    });
    std::vector<int> rows(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        rows[i] = keys[i].row;
    return rows;
}
