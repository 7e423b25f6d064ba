#pragma once

#include "resulttables.h"

// The part of a source line around a fault: the 10 characters before position pos (counted from
// 1 in UTF-16 units), the character at pos and the 10 after it, cut at both ends of the line.
QString narrowAround(const QString& source, int pos);

// Fills the Narrowed cell of every error row from its Pos and Source cells. A row whose Pos is not
// a number keeps an empty Narrowed cell.
void narrowErrors(ResultTables& tables);
