#include "tablestream.h"

#include "tabdelimited.h"

#include "analysis/resulttables.h"
#include "analysis/reusedbuffer.h"

#include <QDir>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

constexpr qsizetype spoolFlushThreshold = 1 << 20;

QString number(int value)
{
    return value == 0 ? QStringLiteral("0") : QString::number(value);
}

} // namespace

ErrorTableStream::ErrorTableStream(OutputFile& output, TextEncoding encoding)
    : output_(output), encoding_(encoding)
{
    writeHeader();
}

void ErrorTableStream::writeHeader()
{
    emptyForReuse(line_);
    appendByteOrderMark(line_, encoding_);
    const QStringList& headers = ResultTables::errorHeaders();
    for (int column = 0; column < headers.size(); ++column) {
        if (column > 0)
            line_.append('\t');
        appendHeaderField(line_, headers.at(column), encoding_);
    }
    line_.append("\r\n");
    output_.write(line_);
}

void ErrorTableStream::restart()
{
    if (output_.restart())
        writeHeader();
}

void ErrorTableStream::addRow(const Row& row)
{
    emptyForReuse(line_);
    appendDataField(line_, row.title, encoding_);
    line_.append("\t\t"); // the Content column: bodies never reach the file
    appendDataField(line_, number(row.errorCode), encoding_);
    line_.append('\t');
    appendDataField(line_, row.reason, encoding_);
    line_.append('\t');
    appendDataField(line_, number(row.line), encoding_);
    line_.append('\t');
    appendDataField(line_, number(row.pos), encoding_);
    line_.append('\t');
    appendDataField(line_, row.source, encoding_);
    line_.append('\t');
    appendDataField(line_, row.narrowed, encoding_);
    line_.append("\r\n");
    output_.write(line_);
}

bool LinkTableStream::open(const QString& spoolFolder)
{
    spool_.setFileTemplate(QDir(spoolFolder).filePath(QStringLiteral(".postlint-links-XXXXXX")));
    restart();
    return spool_.open();
}

void LinkColumns::reset()
{
    headers_ = {ResultTables::errorHeaders().at(ErrorTitleColumn),
                ResultTables::errorHeaders().at(ErrorContentColumn)};
    columnOf_.clear();
    columnOf_.insert(headers_.at(LinkTitleColumn), LinkTitleColumn);
    columnOf_.insert(headers_.at(LinkContentColumn), LinkContentColumn);
    leftOut_.clear();
}

void LinkColumns::note(const std::vector<FoundLink>& links)
{
    for (const FoundLink& link : links) {
        for (const FoundLink::Attribute& attribute : link.attributes)
            columnFor(attribute.name);
    }
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

int LinkColumns::columnFor(const QString& name)
{
    const int column = columnOf_.value(name, -1);
    if (column >= 0)
        return column;
    if (headers_.size() >= LinkColumnCount) {
        ++leftOut_[name];
        return -1;
    }
    headers_.append(name);
    columnOf_.insert(name, int(headers_.size()) - 1);
    return int(headers_.size()) - 1;
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
