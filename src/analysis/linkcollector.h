#pragma once

#include "resulttables.h"

#include <utility>
#include <vector>

// The attributes that go into one row of the link table, in the order they are written: a
// top-level link's, then those of the images inside it. A name met twice keeps the later value.
struct FoundLink
{
    // Names as written, prefix included; values as UTF-8 after reference replacement, the compact
    // form the link table keeps them in.
    std::vector<std::pair<QString, QByteArray>> attributes;
};

// Appends the rows and attribute columns of one parsed post to the link table. Columns appear in
// the order the run first meets each name; once all 22 attribute columns are taken, values of
// further names are left out, and counted per name in tables.leftOutAttributes.
void collectLinks(ResultTables& tables, const QString& title, const CellText& body,
                  const std::vector<FoundLink>& links);

// The attribute names left out of the link table, the most frequent first, each with how often:
// "rel (12), srcset (3)", at most namesShown of them and then how many other names there were.
// Empty when nothing was left out.
QString leftOutSummary(const ResultTables& tables, int namesShown = 10);
QString leftOutSummary(const QMap<QString, qint64>& leftOut, int namesShown = 10);
