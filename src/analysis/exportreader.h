#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

#include <functional>

// One item of the export as the reader hands it on.
struct ExportItem
{
    QString title;
    QByteArray bodyUtf8;
    QString postId;    // the text of `wp:post_id`
    QString permalink; // the text of `link`
};

// A fault in the export file itself, as opposed to one in a post's HTML: either one the reader
// read through (the rest of the file still yields its items) or the one that made the file
// unusable.
struct ExportFault
{
    qint64 line = 0;   // 1-based, in the export file
    qint64 column = 0; // 1-based, in characters of that line
    QString reason;
    // Set when the fault lies inside an `item`: its title and `wp:post_id` as far as read.
    bool inItem = false;
    QString itemTitle;
    QString postId;
};

struct ExportReadResult
{
    // False when the file could not be read, is not well-formed, fails validation against the
    // DOCTYPE it carries, or asks for an external resource. Items already handed on must then be
    // discarded: the fault may sit at the very end of a file.
    bool usable = false;
    qint64 itemCount = 0;
    // What made the file unusable, with where it lies when that is known (line 0 otherwise);
    // empty when usable.
    ExportFault problem;
    // Faults read through, in file order.
    QList<ExportFault> faults;
};

// Streams the `rss/channel/item` elements of a WordPress export, in file order, to onItem. Each
// item's title is the text of its first `title` child, its body the text of its first
// `content:encoded` child (the RSS content module's `encoded`, whatever its prefix); either is
// empty when the child is missing. The file is only read; nothing else is ever fetched.
// Faults that leave the file's structure intact are read through and listed in `faults` (see
// exportrepair.h); a post body keeps the characters XML forbids, so that its own check shows them.
ExportReadResult readExport(const QString& path, const std::function<void(ExportItem&&)>& onItem);

// The same, reading the export from an open device (the file reader above comes down to this).
ExportReadResult readExport(QIODevice& device, const std::function<void(ExportItem&&)>& onItem);
