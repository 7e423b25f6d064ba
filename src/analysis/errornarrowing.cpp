#include "errornarrowing.h"

namespace {
constexpr int halfWidth = 10;
}

QString narrowAround(const QString& source, int pos)
{
    const qsizetype start = pos > halfWidth ? qsizetype(pos) - halfWidth - 1 : 0;
    const qsizetype length = pos > halfWidth ? 2 * halfWidth + 1 : qsizetype(pos) + halfWidth;
    if (length <= 0 || start >= source.size())
        return QString();
    return source.mid(start, length);
}

void narrowErrors(ResultTables& tables)
{
    const int rowCount = tables.errorRowCount;
    for (int row = 1; row <= rowCount; ++row) {
        bool isNumber = false;
        const int pos = tables.errorTable.cell(ErrorPosColumn, row).toInt(&isNumber);
        if (!isNumber)
            continue;
        const CellText& source = tables.errorTable.cellText(ErrorSourceColumn, row);
        if (source.isEmpty())
            continue;
        tables.errorTable.setCell(ErrorNarrowedColumn, row, narrowAround(source.toString(), pos));
    }
}
