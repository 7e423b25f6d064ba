#pragma once

#include "analysis/exportitem.h"
#include "analysis/exportposition.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>

class BodyPlaces;

// What the audit needs of one item of the export.
struct AuditItem
{
    QString title;
    QString postId;        // `wp:post_id`
    QString postType;      // `wp:post_type`
    QString status;        // `wp:status`
    QString postName;      // `wp:post_name`
    QString link;          // `link`: the post's own address, against which its URLs resolve
    QString guid;          // `guid`
    QString attachmentUrl; // `wp:attachment_url`, for attachments
    QString thumbnailId;   // the `_thumbnail_id` post meta: the featured image
    QByteArray bodyUtf8;
    // Where the body's first character stands in the export; unknown when the reader did not say.
    ExportPosition bodyStart;
    // The places of the body's characters in the export, while the item is audited; without
    // them, the body's lines and columns are counted from bodyStart.
    BodyPlaces* places = nullptr;
    // What the keeper of the results knows the item by, handed back with each of its findings:
    // post IDs need not be unique in a broken export.
    qint64 sinkTag = 0;
};

// The export's line and column of a line and column of the item's body; {0, 0} when the body's
// place is not known.
std::pair<qint64, qint64> exportPlaceOf(const AuditItem& item, qint64 line, qint64 column);

// What the export and the user say about the site's addresses.
struct SiteInfo
{
    QString channelLink; // the channel's `link`
    QString baseBlogUrl; // `wp:base_blog_url`
    // Named by the user when the export's address is wrong: it then replaces both above as the
    // current address (the export's own still count as other site hosts).
    QString namedUrl;
    QStringList namedHosts; // further hosts of this site, named by the user
};

// The reader's item as the audit reads it; the body is shared, not copied.
inline AuditItem auditItemOf(const ExportItem& item, ExportPosition bodyStart = {})
{
    return {item.title,       item.postId,    item.postType, item.status,
            item.postName,    item.permalink, item.guid,     item.attachmentUrl,
            item.thumbnailId, item.bodyUtf8,  bodyStart,     nullptr};
}

inline SiteInfo siteInfoOf(const ExportChannel& channel)
{
    return {channel.link, channel.baseBlogUrl, {}, {}};
}
