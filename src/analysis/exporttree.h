#pragma once

#include "exportitem.h"
#include "markupguard.h"

#include <libxml/tree.h>

// What the export reader reads from the tree libxml2 builds of an item: its title and body, the
// item a fault lies in, and the markers the repair left in it.
namespace exporttree {

// Whether the element is an `rss/channel/item` at the top of the document.
bool isItem(const xmlNode* node);
// The texts of the tree have the runs that the guard held back, if given, put in place of their
// placeholders (see ByteStreamGuard::holdCdataText).
//
// The item's title and body; restore undoes what the repair marked in them.
ExportItem itemFrom(const xmlNode* item, bool restore,
                    const markupguard::ByteStreamGuard* held = nullptr);
// Takes what the channel says of the site from one of its child elements, if it is one of those.
void readChannelChild(const xmlNode* element, ExportChannel& channel,
                      const markupguard::ByteStreamGuard* held = nullptr);
// What names an item in its faults: its first title and `wp:post_id` that are not empty, as far as
// they have been read.
struct ItemPlace
{
    QString title;
    QString postId;
};
ItemPlace placeOf(const xmlNode* item, bool restore,
                  const markupguard::ByteStreamGuard* held = nullptr);
// Names the item a fault lies in, keeping the title or post ID that the fault already names.
void placeInItem(ExportFault& fault, const ItemPlace& place);
// The markers of the repair in the node, or in the node and all it holds, in document order.
qint64 markersIn(const xmlNode* top, bool subtree);
// Drops the runs held for the placeholders of a subtree that has been read, or that nobody reads.
void dropHeld(const xmlNode* top, markupguard::ByteStreamGuard& guard);

} // namespace exporttree
