#include "rowfilter.h"

#include "resultsmodel.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <system_error>
#include <thread>

namespace {

// Rows below this are matched on the calling thread: starting threads would cost more.
constexpr size_t rowsPerThread = 20000;

bool isAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

constexpr std::array<char, 256> asciiLowerTable()
{
    std::array<char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[size_t(i)] = char(i >= 'A' && i <= 'Z' ? i + ('a' - 'A') : i);
    return table;
}
constexpr std::array<char, 256> asciiLower = asciiLowerTable();

// An ASCII needle, lower-cased, in UTF-8 bytes (a needle holds no NUL, so '\0' never matches):
// every byte of a multi-byte character is above 0x7F, so it can never match part of the needle, and
// a post body of tens of megabytes is searched where it lies, without being decoded.
bool containsAsciiFolded(QByteArrayView haystack, QByteArrayView needle)
{
    if (needle.size() > haystack.size())
        return false;
    const char first = needle.front();
    const char* data = haystack.data();
    const qsizetype last = haystack.size() - needle.size();
    for (qsizetype i = 0; i <= last; ++i) {
        if (asciiLower[quint8(data[i])] != first)
            continue;
        qsizetype k = 1;
        while (k < needle.size() && asciiLower[quint8(data[i + k])] == needle[k])
            ++k;
        if (k == needle.size())
            return true;
    }
    return false;
}

// The same for text held as UTF-16: units above 0x7F never match an ASCII needle.
bool containsAsciiFolded(QStringView haystack, QByteArrayView needle)
{
    if (needle.size() > haystack.size())
        return false;
    const char first = needle.front();
    const char16_t* data = haystack.utf16();
    const qsizetype last = haystack.size() - needle.size();
    const auto folded = [](char16_t unit) { return unit < 0x80 ? asciiLower[unit] : '\0'; };
    for (qsizetype i = 0; i <= last; ++i) {
        if (folded(data[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < needle.size() && folded(data[i + k]) == needle[k])
            ++k;
        if (k == needle.size())
            return true;
    }
    return false;
}

struct Needle
{
    explicit Needle(const QString& text)
        : text(text), ascii(isAscii(text)), asciiLowered(text.toLatin1().toLower())
    {}
    bool foundIn(const CellText& cell) const
    {
        if (ascii && cell.isCompact())
            return containsAsciiFolded(cell.toUtf8(), asciiLowered);
        const QString cellText = cell.toString();
        if (ascii)
            return containsAsciiFolded(QStringView(cellText), asciiLowered);
        return cellText.contains(text, Qt::CaseInsensitive);
    }
    QString text;
    bool ascii;
    QByteArray asciiLowered;
};

} // namespace

bool RowFilter::narrows(const RowFilter& wider) const
{
    const bool hidesAtLeast = wider.hiddenColumn < 0 || (hiddenColumn == wider.hiddenColumn &&
                                                         hiddenValue == wider.hiddenValue);
    return hidesAtLeast && text.contains(wider.text, Qt::CaseInsensitive);
}

std::vector<char> matchRows(const std::vector<int>& candidates, const ResultsModel& model,
                            const RowFilter& filter)
{
    const int columnCount = model.columnCount();
    const auto cellOf = [&model](int row, int column) -> const CellText& {
        return model.cell(row, column);
    };
    std::vector<char> shown(candidates.size(), 1);
    if (!filter.isActive())
        return shown;
    const Needle needle(filter.text);
    const auto matches = [&](int row) {
        if (filter.hiddenColumn >= 0 &&
            cellOf(row, filter.hiddenColumn).toString() == filter.hiddenValue)
            return false;
        if (needle.text.isEmpty())
            return true;
        for (int column = 0; column < columnCount; ++column) {
            if (needle.foundIn(cellOf(row, column)))
                return true;
        }
        return false;
    };
    const auto matchRange = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            shown[i] = matches(candidates[i]) ? 1 : 0;
    };

    const size_t threadCount = std::clamp<size_t>(
        size_t(QThread::idealThreadCount()), 1, std::max<size_t>(1, shown.size() / rowsPerThread));
    const size_t share = (shown.size() + threadCount - 1) / threadCount;
    const auto rangeOf = [&](size_t t, auto&& run) {
        run(std::min(shown.size(), t * share), std::min(shown.size(), (t + 1) * share));
    };
    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    size_t started = 1;
    try {
        for (; started < threadCount; ++started)
            rangeOf(started, [&](size_t begin, size_t end) {
                threads.emplace_back(matchRange, begin, end);
            });
    } catch (const std::system_error&) {
        // No thread to be had (a limit, or no memory for its stack): this one matches the rest.
    }
    for (size_t t = started; t < threadCount; ++t)
        rangeOf(t, matchRange);
    rangeOf(0, matchRange);
    for (std::thread& thread : threads)
        thread.join();
    return shown;
}
