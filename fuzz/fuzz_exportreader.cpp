// Fuzzes the export reader on arbitrary file bytes, checking every item it hands on as a run
// does. The bytes are read through a QBuffer: the same reader the file path uses, minus the file.
#include "analysis/errornarrowing.h"
#include "analysis/exportreader.h"
#include "analysis/postcheck.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    ResultTables tables;
    tables.reset();
    const ExportReadResult result = readExport(buffer, [&](ExportItem&& item) {
        recordPost(tables, item.title, CellText::fromUtf8(item.bodyUtf8),
                   checkPostBody(item.bodyUtf8, QStringLiteral("dummy")));
    });
    if (result.itemCount != tables.errorRowCount)
        std::abort();
    if (!result.usable && result.problem.isEmpty())
        std::abort();
    narrowErrors(tables);
    return 0;
}
