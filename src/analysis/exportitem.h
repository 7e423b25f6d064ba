#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// One item of the export as the reader hands it on. Texts are those of the item's first child of
// each name, empty when the item has none.
struct ExportItem
{
    QString title;
    QByteArray bodyUtf8;
    QString postId;        // `wp:post_id`
    QString permalink;     // `link`
    QString postType;      // `wp:post_type`
    QString status;        // `wp:status`
    QString postName;      // `wp:post_name`
    QString guid;          // `guid`
    QString attachmentUrl; // `wp:attachment_url`
    QString thumbnailId;   // the `wp:meta_value` of the `wp:postmeta` keyed `_thumbnail_id`
};

// What the channel says of the site, as far as it comes before the first item (WordPress writes
// it there).
struct ExportChannel
{
    QString link;        // the channel's `link`
    QString baseBlogUrl; // `wp:base_blog_url`
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
    // Set when the reason itself names the item, so that saying where it lies would repeat it.
    bool reasonNamesItem = false;
    // Set when the fault cost posts: some were not read, or not whole. One that is only noted,
    // every post read as usual, is a warning to the report; this one is an error.
    bool postsLost = false;
};
