#pragma once

#include <QByteArray>

// Empties a buffer that is filled again and again, keeping its memory for the next round, unless
// it grew far past what a usual round needs (around one 60 MB post, say): that is given back.
// Qt 6's QByteArray::clear() always gives the memory back, which costs an allocation per round.
inline void emptyForReuse(QByteArray& buffer, qsizetype keptCapacity = 4 << 20)
{
    if (buffer.capacity() > keptCapacity)
        buffer = QByteArray();
    else
        buffer.resize(0);
}
