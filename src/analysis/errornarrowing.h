#pragma once

#include <QString>

// The part of a source line around a fault: the 10 characters before position pos (counted from
// 1 in UTF-16 units), the character at pos and the 10 after it, cut at both ends of the line; a
// character beyond U+FFFF that either cut would halve is left out whole.
QString narrowAround(const QString& source, int pos);
