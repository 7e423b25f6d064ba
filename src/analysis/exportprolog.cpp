// How the repair reads the start of an export: its encoding family, its byte-order mark, what a
// plugin or theme printed before the XML declaration, and the encoding that the declaration names.

#include "exportrepair.h"
#include "prologreader.h"
#include "xmlchars.h"

namespace exportrepair {

namespace {

// PHP warnings printed before the declaration are short; past this much the file is not taken
// for an export with text in front.
constexpr qsizetype leadingTextLimit = 1 << 16;

// Whether the bytes at from begin as a document may: a declaration, a processing instruction, a
// comment, a document type declaration or the root element itself.
bool startsLikeXml(const QByteArray& bytes, qsizetype from)
{
    const QByteArrayView rest = QByteArrayView(bytes).sliced(from);
    return rest.startsWith("<?") || rest.startsWith("<!") || rest.startsWith("<rss");
}

QString firstLineOf(QByteArrayView text)
{
    for (const QByteArrayView line : text.toByteArray().replace('\r', '\n').split('\n')) {
        const QString trimmed = QString::fromUtf8(line).trimmed();
        if (!trimmed.isEmpty())
            return trimmed.size() > 60 ? trimmed.left(60) + QChar(0x2026) : trimmed;
    }
    return {};
}

} // namespace

void ByteRepair::feedStart(QByteArray& output, bool final)
{
    const auto* b = reinterpret_cast<const unsigned char*>(held_.constData());
    const qint64 size = held_.size();
    if (size < 4 && !final)
        return;
    if (prolog::mayBeWide(held_)) {
        mode_ = Mode::Verbatim;
        return;
    }
    byteOrderMark_ = prolog::startsWithByteOrderMark(held_);
    const qint64 start = byteOrderMark_ ? prolog::utf8ByteOrderMarkLength : 0;
    qint64 end = start;
    while (end < size && xmlchars::isSpace(b[end]))
        ++end;
    if (size - end < 6 && !final)
        return;
    qsizetype declaration = -1;
    if (prolog::isDeclarationAt(held_, end)) {
        declaration = end;
    } else if (end < size && !startsLikeXml(held_, end)) {
        // Text before the declaration, as a PHP warning leaves it: skipped once the declaration
        // shows where the document starts.
        declaration = prolog::findDeclaration(held_, end);
        if (declaration < 0 && !final && size < leadingTextLimit)
            return;
    }
    if (declaration > start)
        skipLeading(start, declaration, declaration > end);
    // The byte-order mark is no character of the first line.
    output.append(held_.left(start));
    held_.remove(0, start);
    column_ = 0;
    line_ = 1 + removedLines_;
    mode_ = declaration >= 0 ? Mode::Declaration : Mode::Utf8;
}

void ByteRepair::skipLeading(qint64 start, qint64 end, bool text)
{
    const auto* b = reinterpret_cast<const unsigned char*>(held_.constData());
    for (qint64 i = start; i < end; ++i) {
        if (b[i] == '\n' || b[i] == '\r') {
            ++removedLines_;
            removedColumns_ = 0;
            if (b[i] == '\r' && i + 1 < end && b[i + 1] == '\n')
                ++i;
        } else {
            ++removedColumns_;
        }
    }
    if (text) {
        line_ = 1;
        column_ = 0;
        const qint64 lines = removedLines_ + (removedColumns_ > 0 ? 1 : 0);
        leadingLine_ = firstLineOf(QByteArrayView(held_).sliced(start, end - start));
        record(quint32(lines), leadingText);
    } else {
        line_ = 1 + removedLines_;
        column_ = removedColumns_;
        record(0, misplacedDeclaration);
    }
    leadingFaults_ = 1;
    held_.remove(start, end - start);
}

void ByteRepair::feedDeclaration(bool final)
{
    const std::optional<prolog::Declaration> read = prolog::readDeclaration(held_);
    if (!read) {
        // Not a declaration libxml2 accepts; it reports that itself.
        if (held_.size() > 1024 || final)
            mode_ = Mode::Utf8;
        return;
    }
    const bool utf8 = read->namesUtf8();
    if (!utf8 && byteOrderMark_) {
        // XML lets the byte-order mark decide; libxml2 would follow the declaration and turn
        // every accented letter into two. The name is replaced, padded outside the quotes so
        // that the columns after it stay where they are.
        const prolog::Attribute& encoding = read->encoding;
        column_ = removedColumns_ + encoding.valueStart;
        declaredEncoding_ = QString::fromLatin1(encoding.value.trimmed());
        record(0, encodingClash);
        leadingFaults_ = qint64(faults_.size());
        const qsizetype length = encoding.end - encoding.start;
        const QByteArray replacement = QByteArray("encoding=\"UTF-8\"").leftJustified(length, ' ');
        held_.replace(encoding.start, length, replacement);
    }
    mode_ = utf8 || byteOrderMark_ ? Mode::Utf8 : Mode::LineEnds;
}

} // namespace exportrepair
