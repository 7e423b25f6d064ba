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
// further names are dropped.
void collectLinks(ResultTables& tables, const QString& title, const CellText& body,
                  const std::vector<FoundLink>& links);
