#include "prologreader.h"

#include "markuplexer.h"
#include "xmlchars.h"

#include <cstring>

namespace prolog {

Units detectUnits(const unsigned char* b)
{
    if (b[0] == 0 && b[1] == 0 && ((b[2] == 0xFE && b[3] == 0xFF) || (b[2] == 0 && b[3] == '<')))
        return {4, true, false};
    if ((b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) ||
        (b[0] == '<' && b[1] == 0 && b[2] == 0 && b[3] == 0))
        return {4, false, false};
    if ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] == '?'))
        return {2, true, false};
    if ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == '<' && b[1] == 0 && b[2] == '?' && b[3] == 0))
        return {2, false, false};
    return {1, false, std::memcmp(b, "\x4C\x6F\xA7\x94", 4) == 0};
}

bool mayBeWide(QByteArrayView head)
{
    const auto* b = reinterpret_cast<const unsigned char*>(head.data());
    if (head.size() >= 2 && (b[0] == 0 || b[1] == 0 || (b[0] == 0xFE && b[1] == 0xFF) ||
                             (b[0] == 0xFF && b[1] == 0xFE)))
        return true;
    return head.size() >= 4 && detectUnits(b).ebcdic;
}

bool startsWithByteOrderMark(QByteArrayView bytes)
{
    return bytes.startsWith(QByteArrayView(utf8ByteOrderMark, utf8ByteOrderMarkLength));
}

bool isDeclarationAt(QByteArrayView bytes, qsizetype at)
{
    return at + 5 < bytes.size() && bytes.sliced(at).startsWith("<?xml") &&
           xmlchars::isSpace(static_cast<unsigned char>(bytes[at + 5]));
}

qsizetype findDeclaration(QByteArrayView bytes, qsizetype from)
{
    for (qsizetype at = bytes.indexOf("<?xml", from); at >= 0; at = bytes.indexOf("<?xml", at + 1))
        if (isDeclarationAt(bytes, at))
            return at;
    return -1;
}

namespace {

qsizetype skipSpace(QByteArrayView text, qsizetype at)
{
    while (at < text.size() && xmlchars::isSpace(static_cast<unsigned char>(text[at])))
        ++at;
    return at;
}

// The pseudo-attribute at `at`, white space before it skipped; nothing when none is there.
std::optional<std::pair<QByteArrayView, Attribute>> readAttribute(QByteArrayView text, qsizetype at)
{
    Attribute attribute;
    attribute.start = skipSpace(text, at);
    qsizetype end = attribute.start;
    while (end < text.size() &&
           ((text[end] >= 'a' && text[end] <= 'z') || (text[end] >= 'A' && text[end] <= 'Z')))
        ++end;
    const QByteArrayView name = text.sliced(attribute.start, end - attribute.start);
    end = skipSpace(text, end);
    if (name.isEmpty() || end >= text.size() || text[end] != '=')
        return std::nullopt;
    end = skipSpace(text, end + 1);
    if (end >= text.size() || (text[end] != '"' && text[end] != '\''))
        return std::nullopt;
    attribute.valueStart = end + 1;
    const qsizetype close = text.indexOf(text[end], attribute.valueStart);
    if (close < 0)
        return std::nullopt;
    attribute.value = text.sliced(attribute.valueStart, close - attribute.valueStart).toByteArray();
    attribute.end = close + 1;
    return std::pair{name, attribute};
}

} // namespace

std::optional<Declaration> readDeclaration(QByteArrayView bytes)
{
    const qsizetype close = bytes.indexOf("?>");
    if (close < 0)
        return std::nullopt;
    Declaration declaration;
    declaration.end = close + 2;
    const QByteArrayView text = bytes.first(close);
    qsizetype at = text.startsWith("<?xml") ? 5 : text.size();
    while (const auto found = readAttribute(text, at)) {
        const auto& [name, attribute] = *found;
        if (name == "version")
            declaration.version = attribute;
        else if (name == "encoding")
            declaration.encoding = attribute;
        else if (name == "standalone")
            declaration.standalone = attribute;
        at = attribute.end;
    }
    return declaration;
}

bool Declaration::namesUtf8() const
{
    const QByteArray name = encoding.value.trimmed().toUpper();
    return name.isEmpty() || name == "UTF-8" || name == "UTF8";
}

std::optional<bool> declaresDoctype(QByteArrayView head)
{
    MarkupLexer lexer;
    for (qsizetype at = 0; at < head.size();) {
        at += lexer.scan(head.data() + at, head.size() - at);
        if (lexer.event() == MarkupLexer::Event::None)
            continue;
        if (lexer.event() == MarkupLexer::Event::Abandoned)
            return false;
        // Comments and processing instructions, the declaration among them, may come first.
        const MarkupLexer::Construct construct = lexer.construct();
        if (construct != MarkupLexer::Construct::Comment &&
            construct != MarkupLexer::Construct::ProcessingInstruction)
            return construct == MarkupLexer::Construct::Doctype;
    }
    return std::nullopt;
}

} // namespace prolog
