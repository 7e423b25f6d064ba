#pragma once

#include <QByteArray>

#include <utility>

// Positions in the wrapped post text. libxml2 counts lines at LF only (a lone CR does not end a
// line) and columns in code points; the rest of Postlint counts positions in UTF-16 code units,
// so a character above U+FFFF counts twice there.
namespace textpositions {

// The bytes of 1-based line `line` of UTF-8 text, without its LF and without a CR right before
// the LF. Empty when the text has no such line.
QByteArray lineOf(const QByteArray& utf8, int line);

// The 1-based UTF-16 position of the character at 1-based code-point column `column` of a UTF-8
// line. Columns past the end of the line count one unit per missing character; a column below 1
// is returned unchanged.
int utf16Position(const QByteArray& lineUtf8, int column);

// The byte offset of the character at 1-based line `line` and code-point column `column` of UTF-8
// text, counting lines at LF as lineOf does. A column past the end of its line gives the line's
// end; -1 when the text has no such line.
qsizetype byteOffset(const QByteArray& utf8, int line, int column);

// The 1-based line (counted at LF, as above) and 1-based UTF-16 column of the character at byte
// offset `offset` of UTF-8 text; an offset past the end stands for the end.
std::pair<qint64, qint64> lineAndUtf16Column(const QByteArray& utf8, qsizetype offset);

// The 1-based line and code-point column of a byte offset into UTF-8 text, as libxml2 counts
// them.
std::pair<int, int> lineAndColumn(const QByteArray& utf8, qsizetype offset);

} // namespace textpositions
