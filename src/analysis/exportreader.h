#pragma once

#include "exportitem.h"

#include <QIODevice>
#include <QList>

#include <functional>

// What reading an export tells of the file itself, besides the items it hands on.
struct ExportReading
{
    qint64 itemCount = 0;
    // What made the file unusable, with where it lies when that is known (line 0 otherwise);
    // empty when usable.
    ExportFault problem;
    // The file could not be opened or read through: nothing is known of what it holds.
    bool unreadable = false;
    // Faults read through, in file order, as far as they are kept (see faultlist.h); faultCount
    // counts them all.
    QList<ExportFault> faults;
    qint64 faultCount = 0;
    ExportChannel channel;
};

struct ExportReadResult : ExportReading
{
    // False when the file could not be read, is not well-formed, fails validation against the
    // DOCTYPE it carries, or asks for an external resource. Items already handed on must then be
    // discarded: the fault may sit at the very end of a file.
    bool usable = false;
};

using ItemHandler = std::function<void(ExportItem&&)>;
// Called once, before the first item is handed on (or at the end when there is none).
using ChannelHandler = std::function<void(const ExportChannel&)>;

// Streams the `rss/channel/item` elements of a WordPress export, in file order, to onItem. Each
// item's title is the text of its first `title` child, its body the text of its first
// `content:encoded` child (the RSS content module's `encoded`, whatever its prefix); either is
// empty when the child is missing. The file is only read; nothing else is ever fetched.
// Faults that leave the file's structure intact are read through and listed in `faults` (see
// exportrepair.h); a post body keeps the characters XML forbids, so that its own check shows them.
ExportReadResult readExport(const QString& path, const ItemHandler& onItem,
                            const ChannelHandler& onChannel = {});

// The same, reading the export from an open device (the file reader above comes down to this).
ExportReadResult readExport(QIODevice& device, const ItemHandler& onItem,
                            const ChannelHandler& onChannel = {});
