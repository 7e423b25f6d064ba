#pragma once

#include "attributenames.h"
#include "foundlink.h"

#include <libxml/parser.h>

#include <utility>
#include <vector>

// Fed by the post check's parser callbacks, so it speaks libxml2's types; only the analysis
// library's own sources include it, and libxml2 stays out of the headers the front ends read.
// Picks the links and images of the top level out of a post's parse, as the elements arrive:
// every `a` with attributes that is a child of the wrapper, every `img` with attributes that is a
// child of the wrapper or of such a child `a`. Names match exactly and only without a namespace;
// namespace declarations are not attributes. Whether an element is at the top level is decided by
// its depth in the tree, never by comparing names with the wrapper's, so no wrapper name can
// change what is selected.
class LinkFinder
{
public:
    explicit LinkFinder(AttributeNames& names) : names_(names) {}

    // depth 1 is the wrapper element. attributes holds libxml2's five pointers per attribute.
    void startElement(int depth, const xmlChar* localName, const xmlChar* namespaceUri,
                      int attributeCount, const xmlChar** attributes);
    void endElement(int depth);

    std::vector<FoundLink> takeLinks() { return std::move(links_); }

private:
    void appendAttributes(FoundLink& link, int attributeCount, const xmlChar** attributes);

    AttributeNames& names_;
    bool insideTopLink_ = false;
    bool topLinkHasRow_ = false;
    std::vector<FoundLink> links_;
};
