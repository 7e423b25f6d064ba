#pragma once

#include <QString>
#include <QUrl>

class QUrlQuery;

// What a link on this site names: a post by its ID, a post by its path, or nothing the audit
// judges (the root, archives, feeds, searches, WordPress's own folders).
struct PostTarget
{
    enum Kind
    {
        None,
        ById,
        ByPath
    };
    Kind kind = None;
    QString key;         // the ID, or the path percent-decoded without a final "/"
    QString lastSegment; // for a path
};

// The part of postTargetOf() that needs no more than the URL, so that it can be made on any
// thread: a path comes back ByPath whatever it names, without its last segment. decodedPath is
// the URL's path, fully decoded.
PostTarget linkTargetOf(const QUrl& resolved, const QString& decodedPath);
// The same of a URL whose query, if it has one, is given apart.
PostTarget linkTargetOf(const QUrlQuery* query, const QString& decodedPath);
// The rest: the path judged within the site's. sitePath is the path of the site's address, for a
// site below a domain's root.
PostTarget postTargetOf(const PostTarget& linkTarget, const QString& sitePath);
PostTarget postTargetOf(const QUrl& resolved, const QString& sitePath);

// An item's own address as PostTarget keys it.
QString postPathKey(const QUrl& link);
QString postPathKey(const QString& decodedPath);

// What attachments and the URLs of their files are matched by: the path below the uploads
// folder (or on a WordPress.com media host) without the size, scaling, rotation and edit
// suffixes that WordPress adds to the names of an attachment's images; empty for a URL that is
// no uploaded file.
QString mediaKey(const QUrl& resolved);
// The same of a URL's fully decoded path, on a WordPress.com media host or not.
QString mediaKey(const QString& decodedPath, bool onMediaHost);
bool isMediaHost(const QString& host);

// Whether a path ends in the extension of an image, audio, video or document file.
bool hasMediaExtension(const QString& path);
