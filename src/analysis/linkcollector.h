#pragma once

#include "resulttables.h"

#include <libxml/parser.h>

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

// Picks the links and images of the top level out of a post's parse, as the elements arrive:
// every `a` with attributes that is a child of the wrapper, every `img` with attributes that is a
// child of the wrapper or of such a child `a`. Names match exactly and only without a namespace;
// namespace declarations are not attributes. Whether an element is at the top level is decided by
// its depth in the tree, never by comparing names with the wrapper's, so no wrapper name can
// change what is selected.
class LinkFinder
{
public:
    // depth 1 is the wrapper element. attributes holds libxml2's five pointers per attribute.
    void startElement(int depth, const xmlChar* localName, const xmlChar* namespaceUri,
                      int attributeCount, const xmlChar** attributes);
    void endElement(int depth);

    std::vector<FoundLink> takeLinks() { return std::move(links_); }

private:
    bool insideTopLink_ = false;
    bool topLinkHasRow_ = false;
    std::vector<FoundLink> links_;
};

// Appends the rows and attribute columns of one parsed post to the link table. Columns appear in
// the order the run first meets each name; once all 22 attribute columns are taken, values of
// further names are dropped.
void collectLinks(ResultTables& tables, const QString& title, const CellText& body,
                  const std::vector<FoundLink>& links);
