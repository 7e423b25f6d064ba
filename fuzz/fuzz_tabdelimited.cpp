// Fuzzes the tab-delimited writer and the cut on a table built from the input: the first byte
// picks the last column, the rest is UTF-16 text split into cells at U+001F, filled row by row.
#include "analysis/resulttables.h"
#include "export/tabdelimited.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkCut(const QString& text)
{
    const QString cut = getToFirstBadChr(text);
    require(text.startsWith(cut));
    for (const QChar character : cut)
        require(character.unicode() <= 0xFF);
    require(cut.size() == text.size() || text.at(cut.size()).unicode() > 0xFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int columnCount = LinkColumnCount;
    const int lastColumn = data[0] % columnCount;
    QString text(qsizetype((size - 1) / 2), Qt::Uninitialized);
    std::memcpy(text.data(), data + 1, size_t(text.size()) * 2);
    const QStringList cells = text.split(QChar(0x1F));

    ResultTable table;
    table.reset(columnCount);
    int row = 0;
    int column = 0;
    for (const QString& cell : cells) {
        checkCut(cell);
        table.setCell(column, row, cell);
        if (++column > lastColumn) {
            column = 0;
            table.appendRow();
            ++row;
        }
    }
    const int rowCount = table.rowCount() - 1;

    QByteArray output;
    QBuffer buffer(&output);
    buffer.open(QIODevice::WriteOnly);
    require(writeTabDelimited(buffer, {table, lastColumn, rowCount}));

    // Without line breaks inside cells, one CR LF ends each of the rowCount + 1 lines, and every
    // data line holds one TAB fewer than its fields.
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\t'))) {
        const QList<QByteArray> lines = output.split('\n');
        require(lines.size() == rowCount + 2 && lines.last().isEmpty());
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            require(lines.at(i).endsWith('\r'));
            require(lines.at(i).count('\t') == lastColumn);
        }
    }

    // A device that refuses writes is reported, never taken for success.
    QBuffer readOnly(&output);
    readOnly.open(QIODevice::ReadOnly);
    require(!writeTabDelimited(readOnly, {table, lastColumn, rowCount}));
    return 0;
}
