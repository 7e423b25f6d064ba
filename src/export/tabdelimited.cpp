#include "tabdelimited.h"

#include "outputfile.h"

#include "analysis/resulttables.h"
#include "analysis/reusedbuffer.h"

#include <cerrno>

QString getToFirstBadChr(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() > 0xFF)
            return text.left(i);
    }
    return text;
}

namespace {

constexpr qsizetype flushThreshold = 1 << 20;

char latin1Byte(char16_t character)
{
    switch (character) {
    case u'\t':
    case u'\r':
    case u'\n':
        // The file's own separators: inside a cell they would add a field or split the row.
        return ' ';
    default:
        // Every data character that reaches here is at most 255, so it maps to its own byte; a
        // header character above 255 is stored as '?'.
        return character > 0xFF ? '?' : char(character);
    }
}

void appendLatin1(QByteArray& line, const QString& text)
{
    const qsizetype start = line.size();
    line.resize(start + text.size());
    char* out = line.data() + start;
    for (const QChar character : text)
        *out++ = latin1Byte(character.unicode());
}

void appendUtf8(QByteArray& line, const QString& text)
{
    const qsizetype start = line.size();
    line.append(text.toUtf8());
    for (qsizetype i = start; i < line.size(); ++i) {
        char& byte = line[i];
        if (byte == '\t' || byte == '\r' || byte == '\n')
            byte = ' ';
    }
}

void appendCell(QByteArray& line, const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        appendUtf8(line, text);
    else
        appendLatin1(line, getToFirstBadChr(text));
}

bool flush(QIODevice& device, QByteArray& buffer)
{
    const bool written = buffer.isEmpty() || device.write(buffer) == buffer.size();
    emptyForReuse(buffer);
    return written;
}

} // namespace

bool isPermissionError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

void appendByteOrderMark(QByteArray& line, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        line.append("\xEF\xBB\xBF");
}

void appendHeaderField(QByteArray& line, const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        appendUtf8(line, text);
    else
        appendLatin1(line, text);
}

void appendDataField(QByteArray& line, const QString& text, TextEncoding encoding)
{
    appendCell(line, text, encoding);
}

void appendDataFieldUtf8(QByteArray& line, QByteArrayView utf8, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8) {
        appendUtf8(line, QString::fromUtf8(utf8));
        return;
    }
    const qsizetype start = line.size();
    line.resize(start + utf8.size());
    char* out = line.data() + start;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            *out++ = latin1Byte(byte);
            continue;
        }
        // Only C2 and C3 lead the two-byte forms of U+0080 to U+00FF.
        const bool latin1 = (byte == 0xC2 || byte == 0xC3) && i + 1 < utf8.size() &&
                            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (!latin1)
            break;
        *out++ = char(((byte & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    }
    line.resize(out - line.constData());
}

bool writeTabDelimited(QIODevice& device, const TableExtent& extent, TextEncoding encoding)
{
    const int lastColumn = std::min(extent.lastColumn, extent.table.columnCount() - 1);
    bool ok = true;
    // Grown as needed rather than reserved: most tables are far smaller than the threshold.
    QByteArray buffer;
    appendByteOrderMark(buffer, encoding);

    for (int column = 0; column <= lastColumn; ++column) {
        if (column > 0)
            buffer.append('\t');
        appendHeaderField(buffer, extent.table.cell(column, 0), encoding);
    }
    buffer.append("\r\n");

    const TableDescription* description = extent.table.description();
    const int bodyColumn = description ? description->bodyColumn : BodyColumn;
    const int lineCount = extent.rows ? int(extent.rows->size()) : extent.rowCount;
    for (int line = 0; line < lineCount; ++line) {
        const int row = extent.rows ? (*extent.rows)[size_t(line)] : line + 1;
        for (int column = 0; column <= lastColumn; ++column) {
            if (column > 0)
                buffer.append('\t');
            // The Content column: bodies never reach the file.
            if (column != bodyColumn)
                appendCell(buffer, extent.table.cell(column, row), encoding);
        }
        buffer.append("\r\n");
        if (buffer.size() >= flushThreshold)
            ok = flush(device, buffer) && ok;
        if (!ok)
            return false;
    }
    return flush(device, buffer) && ok;
}

ExportResult exportTabDelimited(const QString& path, const TableExtent& extent,
                                TextEncoding encoding)
{
    OutputFile output(path);
    if (output.open())
        output.writeWith(
            [&](QIODevice& device) { return writeTabDelimited(device, extent, encoding); });
    output.commit();
    switch (output.status()) {
    case OutputFile::Fine:
        return {ExportResult::Written, {}};
    case OutputFile::PermissionDenied:
        return {ExportResult::PermissionDenied, output.reason()};
    case OutputFile::Failed:
        break;
    }
    return {ExportResult::Failed, output.reason()};
}
