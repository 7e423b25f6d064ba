// Fuzzes the post check of one body: the input's first line is the dummy tag name, the rest the
// body. The report is recorded into fresh tables and narrowed, as a run does with it.
#include "analysis/errornarrowing.h"
#include "analysis/postcheck.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QString tag = QString::fromUtf8(lineEnd < 0 ? input : input.left(lineEnd));
    const QByteArray body = lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1);

    const PostReport report = checkPostBody(body, tag);
    require(report.errorCode != 0 || report.reason.isEmpty());
    require(report.errorCode == 0 || report.links.empty());

    ResultTables tables;
    tables.reset();
    recordPost(tables, QStringLiteral("title"), CellText::fromUtf8(body), report);
    require(tables.errorRowCount == 1);
    require(tables.linkRowCount == int(report.links.size()));
    require(tables.linkLastColumn >= 1 && tables.linkLastColumn < LinkColumnCount);
    narrowErrors(tables);

    const QString source = QString::fromUtf8(report.sourceUtf8);
    const QString narrowed = narrowAround(source, report.pos);
    require(narrowed.size() <= 21);
    require(narrowed.isEmpty() || source.contains(narrowed));
    return 0;
}
