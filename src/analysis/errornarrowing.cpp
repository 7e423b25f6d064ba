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
