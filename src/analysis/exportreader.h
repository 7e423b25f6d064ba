#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>

// One item of the export as the reader hands it on.
struct ExportItem
{
    QString title;
    QByteArray bodyUtf8;
};

struct ExportReadResult
{
    // False when the file could not be read, is not well-formed, fails validation against the
    // DOCTYPE it carries, or asks for an external resource. Items already handed on must then be
    // discarded: the fault may sit at the very end of a file.
    bool usable = false;
    qint64 itemCount = 0;
    // What went wrong, for diagnostics; empty when usable.
    QString problem;
};

// Streams the `rss/channel/item` elements of a WordPress export, in file order, to onItem. Each
// item's title is the text of its first `title` child, its body the text of its first
// `content:encoded` child (the RSS content module's `encoded`, whatever its prefix); either is
// empty when the child is missing. The file is only read; nothing else is ever fetched.
ExportReadResult readExport(const QString& path, const std::function<void(ExportItem&&)>& onItem);

// The same, reading the export from an open device (the file reader above comes down to this).
ExportReadResult readExport(QIODevice& device, const std::function<void(ExportItem&&)>& onItem);
