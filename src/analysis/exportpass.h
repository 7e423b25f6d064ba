#pragma once

#include "exportreader.h"

#include <QIODevice>

// One reading of an export's bytes by libxml2, as the reader makes it; the reader makes more than
// one only to read past a break in an item (see exportrecovery.cpp).
struct ExportPass
{
    ExportReadResult result;
    // The reading stopped at a break in the XML itself (a tag mismatch, a bare `&`, the end of
    // the file inside an element, text after the root element): a file that WordPress's importer
    // would still read item by item. Not set for the guard's limits, a failed DOCTYPE or an
    // external resource, which leave the file unusable.
    bool broken = false;
    // The break is content after the root element's end tag.
    bool afterRoot = false;
    // Only UTF-8 exports without a DOCTYPE are read past a break.
    bool utf8 = false;
    bool hasDoctype = false;
};

ExportPass readExportPass(QIODevice& device, const ItemHandler& onItem,
                          const ChannelHandler& onChannel);
