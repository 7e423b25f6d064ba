#include "tablestream.h"

#include "tabdelimited.h"

#include "analysis/reusedbuffer.h"
#include "analysis/tablecolumns.h"

#include <QDir>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {
constexpr qsizetype spoolFlushThreshold = 1 << 20;
} // namespace

TableStream::TableStream(OutputFile& output, const TableDescription& table, TextEncoding encoding)
    : output_(output), table_(table), encoding_(encoding)
{
    writeHeader();
}

void TableStream::writeHeader()
{
    emptyForReuse(line_);
    appendByteOrderMark(line_, encoding_);
    for (int column = 0; column < table_.fixedCount(); ++column) {
        if (column > 0)
            line_.append('\t');
        appendHeaderField(line_, table_.columns[size_t(column)].header, encoding_);
    }
    line_.append("\r\n");
    output_.write(line_);
}

void TableStream::restart()
{
    if (output_.restart())
        writeHeader();
}

void TableStream::addRow(std::span<const CellText> cells)
{
    emptyForReuse(line_);
    for (size_t column = 0; column < cells.size(); ++column) {
        if (column > 0)
            line_.append('\t');
        // The Content column: bodies never reach the file.
        if (int(column) == table_.bodyColumn)
            continue;
        const CellText& cell = cells[column];
        if (cell.isCompact())
            appendDataFieldUtf8(line_, cell.toUtf8(), encoding_);
        else
            appendDataField(line_, cell.toString(), encoding_);
    }
    line_.append("\r\n");
    output_.write(line_);
}

bool LinkTableStream::open(const QString& spoolFolder)
{
    spool_.setFileTemplate(QDir(spoolFolder).filePath(QStringLiteral(".postlint-links-XXXXXX")));
    restart();
    return spool_.open();
}

void LinkTableStream::restart()
{
    columns_.reset();
    rowCount_ = 0;
    emptyForReuse(pending_);
    if (spool_.isOpen()) {
        spool_.resize(0);
        spool_.seek(0);
    }
}

void LinkTableStream::addLinks(const QString& title, const std::vector<FoundLink>& links)
{
    emptyForReuse(title_);
    appendDataField(title_, title, encoding_);
    std::optional<QByteArrayView> cells[LinkColumnCount];
    for (const FoundLink& link : links) {
        std::fill(std::begin(cells), std::end(cells), std::nullopt);
        // An attribute named like the title column takes the title's place, as in the window.
        for (const FoundLink::Attribute& attribute : link.attributes) {
            const int column = columns_.columnFor(attribute.name);
            if (column >= 0)
                cells[column] = link.value(attribute);
        }
        // Each spooled row: its length, the last column it has a field for, its fields.
        const auto lastColumn = static_cast<quint8>(columns_.headers().size() - 1);
        emptyForReuse(line_);
        if (cells[LinkTitleColumn])
            appendDataFieldUtf8(line_, *cells[LinkTitleColumn], encoding_);
        else
            line_.append(title_);
        line_.append('\t');
        for (int column = LinkFirstAttributeColumn; column <= lastColumn; ++column) {
            line_.append('\t');
            if (cells[column])
                appendDataFieldUtf8(line_, *cells[column], encoding_);
        }
        const auto length = static_cast<quint32>(line_.size());
        pending_.append(reinterpret_cast<const char*>(&length), sizeof length);
        pending_.append(static_cast<char>(lastColumn));
        pending_.append(line_);
        ++rowCount_;
    }
    if (pending_.size() >= spoolFlushThreshold)
        flushSpool();
}

bool LinkTableStream::flushSpool()
{
    if (!pending_.isEmpty() && spool_.write(pending_) != pending_.size())
        spoolFailed_ = true;
    emptyForReuse(pending_);
    return !spoolFailed_;
}

bool LinkTableStream::writeTo(OutputFile& output)
{
    QByteArray line;
    appendByteOrderMark(line, encoding_);
    const QStringList& headers = columns_.headers();
    for (int column = 0; column < headers.size(); ++column) {
        if (column > 0)
            line.append('\t');
        appendHeaderField(line, headers.at(column), encoding_);
    }
    line.append("\r\n");
    output.write(line);
    if (!flushSpool() || !spool_.seek(0))
        return false;
    const int lastColumn = int(headers.size()) - 1;
    constexpr qsizetype recordHead = sizeof(quint32) + 1;
    QByteArray block;
    qsizetype at = 0;
    emptyForReuse(line);
    for (qint64 row = 0; row < rowCount_;) {
        quint32 length = 0;
        if (block.size() - at >= recordHead)
            std::memcpy(&length, block.constData() + at, sizeof length);
        if (block.size() - at < recordHead || block.size() - at < recordHead + qsizetype(length)) {
            // Read on in large blocks; a record never stays split across two of them.
            const QByteArray more = spool_.read(spoolFlushThreshold + length);
            if (more.isEmpty())
                return false;
            block = block.mid(at) + more;
            at = 0;
            continue;
        }
        const auto rowLastColumn = static_cast<quint8>(block.at(at + sizeof length));
        line.append(block.constData() + at + recordHead, length);
        // Columns added after the row was spooled are empty fields of it.
        line.append(QByteArray(lastColumn - rowLastColumn, '\t'));
        line.append("\r\n");
        at += recordHead + length;
        ++row;
        if (line.size() >= spoolFlushThreshold) {
            output.write(line);
            emptyForReuse(line);
        }
    }
    output.write(line);
    return true;
}
