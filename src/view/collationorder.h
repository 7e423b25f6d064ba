#pragma once

#include <QLocale>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The order of rows by their texts as a report-style list compares them: ignoring case, following
// the locale's collation (the Unicode default order under the C locale), numbers as text. Rows
// whose texts collate equal keep their table order, in either direction.
//
// A million rows must sort in well under a second. Comparing strings with a collator at each of
// the n log n comparisons is far too slow, and Qt's QCollatorSortKey hides its bytes, so this
// builds ICU's sort keys (what QCollator uses underneath, with the same settings) once per row,
// on all cores, and sorts by their bytes.
//
// textOfRow is called from several threads at once and must only read.
std::vector<int> collationOrder(int rowCount, const std::function<QString(int row)>& textOfRow,
                                Qt::SortOrder order, const QLocale& locale = QLocale());

// The order of rows by their numbers (rows without one, std::nullopt, come first: they sort below
// every number), ties in table order in either direction.
std::vector<int> numericOrder(int rowCount,
                              const std::function<std::optional<qint64>(int row)>& numberOfRow,
                              Qt::SortOrder order);
