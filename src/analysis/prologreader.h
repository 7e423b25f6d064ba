#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// What the first bytes of an export say about how to read the rest: the width and byte order of
// its units, a UTF-8 byte-order mark, where the XML declaration stands (a plugin may have printed
// text before it) and what the declaration names. The repair, the guard and the reader's choice of
// parser options all read the prolog through these, so that they cannot disagree about it.
namespace prolog {

inline constexpr char utf8ByteOrderMark[] = "\xEF\xBB\xBF";
inline constexpr qsizetype utf8ByteOrderMarkLength = sizeof utf8ByteOrderMark - 1;

struct Units
{
    int width = 1;
    bool bigEndian = false;
    bool ebcdic = false;
};

// The units of a file from its first four bytes, as XML's own autodetection finds them.
Units detectUnits(const unsigned char* first4);
// Whether the first bytes, two of them at least, may be those of UTF-16 or UCS-4, or are EBCDIC:
// a NUL among the first two, a UTF-16 byte-order mark. Broader than detectUnits, which also needs
// the "<?" of the declaration to take a file without byte-order mark for UTF-16.
bool mayBeWide(QByteArrayView head);

bool startsWithByteOrderMark(QByteArrayView bytes);
// Whether an XML declaration starts at the offset: "<?xml" and white space.
bool isDeclarationAt(QByteArrayView bytes, qsizetype at);
// Where the first declaration at or after from starts, or -1 when it is not there (yet).
qsizetype findDeclaration(QByteArrayView bytes, qsizetype from);

// One pseudo-attribute of the declaration, its offsets counted from the declaration's '<'.
struct Attribute
{
    QByteArray value;
    qsizetype start = -1;      // its name
    qsizetype valueStart = -1; // the first byte inside the quotes
    qsizetype end = -1;        // right after the closing quote
    bool present() const { return start >= 0; }
};

struct Declaration
{
    qsizetype end = 0; // right after its "?>"
    Attribute version;
    Attribute encoding;
    Attribute standalone;
    // Whether it names UTF-8, or no encoding at all, which means UTF-8 too.
    bool namesUtf8() const;
};

// The declaration that the bytes start with, once they hold its "?>"; nothing before that. Its
// pseudo-attributes are read as far as they are well-formed: libxml2 reports a malformed one.
std::optional<Declaration> readDeclaration(QByteArrayView bytes);

// Whether the prolog at the start of the text, before its root element, holds a document type
// declaration: the only place where one is read (elsewhere libxml2 stops at it as a fault).
// Nothing while the bytes so far cannot tell.
std::optional<bool> declaresDoctype(QByteArrayView head);

} // namespace prolog
