#pragma once

#include "texthash.h"

#include <QHash>
#include <QMap>
#include <QStringList>

#include <vector>

struct FoundLink;

// The link table's columns, as a run chooses them: the title and body, then the attribute names
// in the order the run first meets them, compared exactly, until every column is taken; the
// values of further names are left out, and counted per name. The window's table and the
// report's stream choose through this one class, so both name the same columns.
class LinkColumns
{
public:
    LinkColumns() { reset(); }
    void reset();
    // The column of name, added when there is room; -1 when it is left out.
    int columnFor(const QString& name);
    // The column headed exactly name, or -1; adds nothing.
    int find(const QString& name) const { return columnOf_.value({name}, -1); }
    void note(const std::vector<FoundLink>& links);

    const QStringList& headers() const { return headers_; }
    int lastColumn() const { return int(headers_.size()) - 1; }
    const QMap<QString, qint64>& leftOut() const { return leftOut_; }

private:
    QStringList headers_;
    QHash<HashedString, int> columnOf_;
    QMap<QString, qint64> leftOut_;
};

// The attribute names left out of the link table, the most frequent first, each with how often:
// "rel (12), srcset (3)", at most namesShown of them and then how many other names there were.
// Empty when nothing was left out.
QString leftOutSummary(const QMap<QString, qint64>& leftOut, int namesShown = 10);
