#include "textpositions.h"

#include <algorithm>
#include <cstring>

namespace textpositions {

QByteArray lineOf(const QByteArray& utf8, int line)
{
    if (line < 1)
        return QByteArray();
    qsizetype start = 0;
    for (int current = 1; current < line; ++current) {
        const qsizetype lineFeed = utf8.indexOf('\n', start);
        if (lineFeed < 0)
            return QByteArray();
        start = lineFeed + 1;
    }
    qsizetype end = utf8.indexOf('\n', start);
    if (end < 0)
        end = utf8.size();
    else if (end > start && utf8.at(end - 1) == '\r')
        --end;
    return utf8.mid(start, end - start);
}

namespace {

// Eight bytes at a time: a fault lies after a run of plain text in most posts, and many bodies
// are a single line thousands of bytes long.
constexpr quint64 highBits = 0x8080808080808080ULL;
constexpr quint64 lowBits = 0x0101010101010101ULL;

quint64 wordAt(const char* at)
{
    quint64 word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// Eight ASCII characters, none of them a line feed.
bool isPlainWord(quint64 word)
{
    const quint64 lineFeeds = word ^ (lowBits * '\n');
    return (word & highBits) == 0 && ((lineFeeds - lowBits) & ~lineFeeds & highBits) == 0;
}

} // namespace

int utf16Position(const QByteArray& lineUtf8, int column)
{
    if (column < 1)
        return column;
    int codePointsLeft = column - 1;
    int units = 0;
    const char* at = lineUtf8.constData();
    const char* const end = at + lineUtf8.size();
    while (at < end) {
        if (codePointsLeft >= 8 && end - at >= 8 && (wordAt(at) & highBits) == 0) {
            at += 8;
            codePointsLeft -= 8;
            units += 8;
            continue;
        }
        const auto value = static_cast<unsigned char>(*at++);
        if ((value & 0xC0) == 0x80)
            continue; // continuation byte
        if (codePointsLeft == 0)
            break;
        --codePointsLeft;
        units += value >= 0xF0 ? 2 : 1;
    }
    return units + codePointsLeft + 1;
}

qsizetype byteOffset(const QByteArray& utf8, int line, int column)
{
    if (line < 1)
        return -1;
    qsizetype offset = 0;
    for (int current = 1; current < line; ++current) {
        const qsizetype lineFeed = utf8.indexOf('\n', offset);
        if (lineFeed < 0)
            return -1;
        offset = lineFeed + 1;
    }
    for (int codePointsLeft = column - 1; codePointsLeft > 0; --codePointsLeft) {
        // Eight plain characters, the last of which ends as a single one does.
        if (codePointsLeft >= 8 && utf8.size() - offset >= 8 &&
            isPlainWord(wordAt(utf8.constData() + offset))) {
            offset += 7;
            codePointsLeft -= 7;
        }
        if (offset >= utf8.size() || utf8.at(offset) == '\n')
            break;
        ++offset;
        while (offset < utf8.size() && (static_cast<unsigned char>(utf8.at(offset)) & 0xC0) == 0x80)
            ++offset;
    }
    return offset;
}

std::pair<qint64, qint64> lineAndUtf16Column(const QByteArray& utf8, qsizetype offset)
{
    const qsizetype end = std::clamp<qsizetype>(offset, 0, utf8.size());
    // lastIndexOf from -1 would search from the end.
    const qsizetype lineStart = end > 0 ? utf8.lastIndexOf('\n', end - 1) + 1 : 0;
    const qint64 line = 1 + utf8.first(lineStart).count('\n');
    qint64 column = 1;
    for (qsizetype i = lineStart; i < end; ++i) {
        const auto byte = static_cast<unsigned char>(utf8.at(i));
        // A lead byte starts a character; one of four bytes lies beyond U+FFFF, two units.
        if ((byte & 0xC0) != 0x80)
            column += byte >= 0xF0 ? 2 : 1;
    }
    return {line, column};
}

std::pair<int, int> lineAndColumn(const QByteArray& utf8, qsizetype offset)
{
    int line = 1;
    int column = 1;
    for (qsizetype i = 0; i < offset; ++i) {
        const auto value = static_cast<unsigned char>(utf8.at(i));
        if (value == '\n') {
            ++line;
            column = 1;
        } else if ((value & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

} // namespace textpositions
