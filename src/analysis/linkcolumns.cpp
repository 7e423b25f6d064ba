#include "linkcolumns.h"

#include "foundlink.h"
#include "tablecolumns.h"

#include <algorithm>
#include <utility>

void LinkColumns::reset()
{
    headers_ = linkTableDescription().headers();
    columnOf_.clear();
    for (int column = 0; column < headers_.size(); ++column)
        columnOf_.insert({headers_.at(column)}, column);
    leftOut_.clear();
}

int LinkColumns::columnFor(const QString& name)
{
    const int column = columnOf_.value({name}, -1);
    if (column >= 0)
        return column;
    if (headers_.size() >= linkTableDescription().columnLimit) {
        ++leftOut_[name];
        return -1;
    }
    headers_.append(name);
    columnOf_.insert({name}, lastColumn());
    return lastColumn();
}

void LinkColumns::note(const std::vector<FoundLink>& links)
{
    for (const FoundLink& link : links) {
        for (const FoundLink::Attribute& attribute : link.attributes)
            columnFor(attribute.name);
    }
}

QString leftOutSummary(const QMap<QString, qint64>& leftOut, int namesShown)
{
    std::vector<std::pair<QString, qint64>> names(leftOut.keyValueBegin(), leftOut.keyValueEnd());
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    QStringList parts;
    for (size_t i = 0; i < names.size() && i < size_t(namesShown); ++i)
        parts.append(QStringLiteral("%1 (%2)").arg(names[i].first).arg(names[i].second));
    if (names.size() > size_t(namesShown))
        parts.append(QStringLiteral("and %1 other names").arg(names.size() - size_t(namesShown)));
    return parts.join(QStringLiteral(", "));
}
