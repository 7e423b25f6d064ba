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
    QString excerpt = source.mid(start, length);
    // A character beyond U+FFFF that the cut halves is dropped whole, not left as a lone half.
    if (!excerpt.isEmpty() && excerpt.front().isLowSurrogate() && start > 0 &&
        source.at(start - 1).isHighSurrogate())
        excerpt.remove(0, 1);
    if (!excerpt.isEmpty() && excerpt.back().isHighSurrogate() && start + length < source.size() &&
        source.at(start + length).isLowSurrogate())
        excerpt.chop(1);
    return excerpt;
}
