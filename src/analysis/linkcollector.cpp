#include "linkcollector.h"

#include "linkfinder.h"
#include "reusedbuffer.h"

#include <algorithm>
#include <cstring>

namespace {

bool isNamed(const xmlChar* localName, const xmlChar* namespaceUri, const char* name)
{
    return namespaceUri == nullptr &&
           std::strcmp(reinterpret_cast<const char*>(localName), name) == 0;
}

} // namespace

QString AttributeNames::name(const char* prefix, const char* localName)
{
    emptyForReuse(key_);
    if (prefix != nullptr)
        key_.append(prefix).append(':');
    key_.append(localName);
    if (const auto known = names_.constFind(key_); known != names_.cend())
        return known.value();
    QString name = QString::fromUtf8(key_);
    if (names_.size() >= limit)
        names_.clear();
    names_.insert(key_, name);
    return name;
}

void LinkFinder::appendAttributes(FoundLink& link, int attributeCount, const xmlChar** attributes)
{
    qsizetype valueBytes = 0;
    for (int i = 0; i < attributeCount; ++i)
        valueBytes += attributes[5 * i + 4] - attributes[5 * i + 3];
    link.attributes.reserve(link.attributes.size() + static_cast<size_t>(attributeCount));
    link.values.reserve(link.values.size() + valueBytes);
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        const qsizetype length = attribute[4] - attribute[3];
        link.attributes.push_back({names_.name(reinterpret_cast<const char*>(attribute[1]),
                                               reinterpret_cast<const char*>(attribute[0])),
                                   link.values.size(), length});
        link.values.append(reinterpret_cast<const char*>(attribute[3]), length);
    }
}

void LinkFinder::startElement(int depth, const xmlChar* localName, const xmlChar* namespaceUri,
                              int attributeCount, const xmlChar** attributes)
{
    const bool hasAttributes = attributeCount > 0;
    if (depth == 2) {
        if (isNamed(localName, namespaceUri, "a")) {
            insideTopLink_ = true;
            topLinkHasRow_ = hasAttributes;
            if (hasAttributes)
                appendAttributes(links_.emplace_back(), attributeCount, attributes);
        } else if (hasAttributes && isNamed(localName, namespaceUri, "img")) {
            appendAttributes(links_.emplace_back(), attributeCount, attributes);
        }
    } else if (depth == 3 && insideTopLink_ && hasAttributes &&
               isNamed(localName, namespaceUri, "img")) {
        // An image in a link without attributes has no link row to join, so it gets a row of its
        // own, as an image outside a link does.
        FoundLink& row = topLinkHasRow_ ? links_.back() : links_.emplace_back();
        appendAttributes(row, attributeCount, attributes);
    }
}

void LinkFinder::endElement(int depth)
{
    if (depth == 2)
        insideTopLink_ = false;
}

void collectLinks(ResultTables& tables, const QString& title, const CellText& body,
                  const std::vector<FoundLink>& links)
{
    for (const FoundLink& link : links) {
        const int row = tables.appendLinkRow(2 + int(link.attributes.size()));
        tables.linkTable.setCell(LinkTitleColumn, row, title);
        tables.linkTable.setCell(LinkContentColumn, row, body);
        for (const FoundLink::Attribute& attribute : link.attributes) {
            int column = tables.findLinkColumn(attribute.name);
            if (column < 0)
                column = tables.addLinkColumn(attribute.name);
            if (column >= 0)
                tables.linkTable.setCell(column, row,
                                         CellText::fromUtf8(link.value(attribute).toByteArray()));
            else
                ++tables.leftOutAttributes[attribute.name];
        }
    }
}

QString leftOutSummary(const ResultTables& tables, int namesShown)
{
    return leftOutSummary(tables.leftOutAttributes, namesShown);
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
