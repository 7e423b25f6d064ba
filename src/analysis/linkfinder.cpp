#include "linkfinder.h"

#include <cstring>

namespace {

bool isNamed(const xmlChar* localName, const xmlChar* namespaceUri, const char* name)
{
    return namespaceUri == nullptr &&
           std::strcmp(reinterpret_cast<const char*>(localName), name) == 0;
}

} // namespace

void LinkFinder::appendAttributes(FoundLink& link, int attributeCount, const xmlChar** attributes)
{
    qsizetype valueBytes = 0;
    for (int i = 0; i < attributeCount; ++i)
        valueBytes += attributes[5 * i + 4] - attributes[5 * i + 3];
    link.attributes.reserve(link.attributes.size() + static_cast<size_t>(attributeCount));
    // The values go in with one resize: an append for each costs more than its bytes.
    qsizetype at = link.values.size();
    link.values.resize(at + valueBytes);
    char* values = link.values.data();
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        const qsizetype length = attribute[4] - attribute[3];
        link.attributes.push_back({names_.name(reinterpret_cast<const char*>(attribute[1]),
                                               reinterpret_cast<const char*>(attribute[0])),
                                   at, length});
        if (length > 0)
            std::memcpy(values + at, attribute[3], size_t(length));
        at += length;
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
