#include "tablestream.h"

#include "tabdelimited.h"

#include "analysis/reusedbuffer.h"
#include "analysis/tablecolumns.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

void appendHeaderLine(QByteArray& line, const TableDescription& table, TextEncoding encoding)
{
    appendByteOrderMark(line, encoding);
    for (int column = 0; column < table.fixedCount(); ++column) {
        if (column > 0)
            line.append('\t');
        appendHeaderField(line, table.columns[size_t(column)].header, encoding);
    }
    line.append("\r\n");
}

// Where a cell stands in its row's line.
struct CellPlace
{
    quint32 start = 0;
    quint32 end = 0;
};

// A row's line without its line end; place, when given, gets where the cell of markedColumn
// stands.
void appendRow(QByteArray& line, const TableDescription& table, std::span<const CellText> cells,
               TextEncoding encoding, int markedColumn = -1, CellPlace* place = nullptr)
{
    for (size_t column = 0; column < cells.size(); ++column) {
        if (column > 0)
            line.append('\t');
        // The Content column: bodies never reach the file.
        if (int(column) == table.bodyColumn)
            continue;
        const qsizetype start = line.size();
        const CellText& cell = cells[column];
        if (cell.isCompact())
            appendDataFieldUtf8(line, cell.toUtf8(), encoding);
        else
            appendDataField(line, cell.toString(), encoding);
        if (int(column) == markedColumn && place != nullptr)
            *place = {quint32(start), quint32(line.size())};
    }
}

} // namespace

TableStream::TableStream(OutputFile& output, const TableDescription& table, TextEncoding encoding)
    : output_(output), table_(table), encoding_(encoding)
{
    writeHeader();
}

void TableStream::writeHeader()
{
    emptyForReuse(line_);
    appendHeaderLine(line_, table_, encoding_);
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
    appendRow(line_, table_, cells, encoding_);
    line_.append("\r\n");
    output_.write(line_);
}

SpooledTableStream::SpooledTableStream(const TableDescription& table, TextEncoding encoding)
    : table_(table), encoding_(encoding)
{}

bool SpooledTableStream::open(const QString& spoolFolder)
{
    return spool_.open(spoolFolder, QStringLiteral(".postlint-rows-XXXXXX"));
}

void SpooledTableStream::addRow(std::span<const CellText> cells, int waitingColumn,
                                QByteArrayView key)
{
    emptyForReuse(line_);
    emptyForReuse(waiting_);
    CellPlace place;
    appendRow(line_, table_, cells, encoding_, waitingColumn, &place);
    // What a waiting row holds beside its line: where its waiting cell stands, then the key.
    if (waitingColumn >= 0) {
        waiting_.append(reinterpret_cast<const char*>(&place), sizeof place);
        waiting_.append(key);
    }
    spool_.add(waiting_, line_);
}

bool SpooledTableStream::writeTo(OutputFile& output, const Settle& settle)
{
    QByteArray header;
    appendHeaderLine(header, table_, encoding_);
    output.write(header);
    return spool_.writeTo(output,
                          [&](QByteArrayView waiting, QByteArrayView line, QByteArray& out) {
                              QString settled;
                              CellPlace place;
                              if (waiting.size() >= qsizetype(sizeof place)) {
                                  std::memcpy(&place, waiting.data(), sizeof place);
                                  settled = settle(waiting.sliced(sizeof place));
                              }
                              if (settled.isNull()) {
                                  out.append(line);
                              } else {
                                  out.append(line.first(place.start));
                                  appendDataField(out, settled, encoding_);
                                  out.append(line.sliced(place.end));
                              }
                              out.append("\r\n");
                          });
}

bool LinkTableStream::open(const QString& spoolFolder)
{
    restart();
    return spool_.open(spoolFolder, QStringLiteral(".postlint-links-XXXXXX"));
}

void LinkTableStream::restart()
{
    columns_.reset();
    spool_.restart();
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
        // Each row waits for the columns that later rows add: it knows its last one.
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
        const char waiting = char(lastColumn);
        spool_.add(QByteArrayView(&waiting, 1), line_);
    }
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
    const int lastColumn = int(headers.size()) - 1;
    return spool_.writeTo(output, [&](QByteArrayView waiting, QByteArrayView row, QByteArray& out) {
        out.append(row);
        // Columns added after the row was spooled are empty fields of it.
        out.append(lastColumn - static_cast<quint8>(waiting.front()), '\t');
        out.append("\r\n");
    });
}
