#include "textpositions.h"

#include <algorithm>

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

int utf16Position(const QByteArray& lineUtf8, int column)
{
    if (column < 1)
        return column;
    int codePointsLeft = column - 1;
    int units = 0;
    for (const char byte : lineUtf8) {
        const auto value = static_cast<unsigned char>(byte);
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
