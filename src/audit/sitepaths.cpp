#include "sitepaths.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrlQuery>

namespace {

QString withoutFinalSlash(QString path)
{
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool isUnjudgedPath(const QString& path)
{
    static const QStringList prefixes = {"/wp-admin",   "/wp-login",    "/wp-json",
                                         "/wp-content", "/wp-includes", "/feed"};
    static const QStringList folders = {"/category/", "/tag/",      "/author/",
                                        "/page/",     "/comments/", "/search/"};
    // A folder or a script of WordPress's own: "/feed" and "/wp-login.php", not "/feedback".
    for (const QString& prefix : prefixes) {
        if (path.startsWith(prefix) &&
            (path.size() == prefix.size() || path.at(prefix.size()) == QLatin1Char('/') ||
             path.at(prefix.size()) == QLatin1Char('.')))
            return true;
    }
    const QString asFolder = path + QLatin1Char('/');
    for (const QString& folder : folders) {
        if (asFolder.startsWith(folder))
            return true;
    }
    static const QRegularExpression dateArchive(QStringLiteral("^/\\d{4}(/\\d{2}(/\\d{2})?)?$"));
    return dateArchive.match(path).hasMatch();
}

} // namespace

QString postPathKey(const QUrl& link)
{
    return withoutFinalSlash(link.path(QUrl::FullyDecoded));
}

PostTarget postTargetOf(const QUrl& resolved, const QString& sitePath)
{
    PostTarget target;
    const QUrlQuery query(resolved);
    for (const char* key : {"p", "page_id", "attachment_id"}) {
        bool isNumber = false;
        const QString value = query.queryItemValue(QLatin1String(key));
        if (value.toLongLong(&isNumber) > 0 && isNumber) {
            target.kind = PostTarget::ById;
            target.key = QString::number(value.toLongLong());
            return target;
        }
    }
    for (const char* key : {"s", "cat", "tag", "feed"}) {
        if (query.hasQueryItem(QLatin1String(key)))
            return target;
    }
    const QString path = postPathKey(resolved);
    QString withinSite = path;
    const QString base = withoutFinalSlash(sitePath);
    if (!base.isEmpty() && (withinSite == base || withinSite.startsWith(base + QLatin1Char('/'))))
        withinSite.remove(0, base.size());
    if (withinSite.isEmpty() || isUnjudgedPath(withinSite))
        return target;
    target.kind = PostTarget::ByPath;
    target.key = path;
    target.lastSegment = path.section(QLatin1Char('/'), -1);
    return target;
}

QString mediaKey(const QUrl& resolved)
{
    const QString path = resolved.path(QUrl::FullyDecoded);
    static const QLatin1String uploads("/wp-content/uploads/");
    const qsizetype at = path.indexOf(uploads);
    QString key;
    if (at >= 0)
        key = path.mid(at + uploads.size());
    else if (resolved.host().toLower().endsWith(QLatin1String(".files.wordpress.com")))
        key = path.mid(1);
    else
        return {};
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = key.lastIndexOf(QLatin1Char('.'));
    const qsizetype extensionAt = dot > slash ? dot : key.size();
    QString stem = key.left(extensionAt);
    static const QRegularExpression suffix(
        QStringLiteral("(-\\d+x\\d+|-scaled|-rotated|-e\\d{10,})$"));
    // A resized copy of an edited image carries more than one suffix.
    for (int removed = 0; removed < 8; ++removed) {
        const QRegularExpressionMatch match = suffix.match(stem);
        if (!match.hasMatch())
            break;
        stem.chop(match.capturedLength());
    }
    return stem + key.mid(extensionAt);
}

bool hasMediaExtension(const QString& path)
{
    static const QStringList extensions = {
        "jpg",  "jpeg", "png",  "gif", "webp", "avif", "svg", "bmp", "tif", "tiff", "ico",
        "heic", "mp4",  "m4v",  "mov", "webm", "ogv",  "avi", "wmv", "mkv", "3gp",  "mp3",
        "m4a",  "ogg",  "oga",  "wav", "flac", "aac",  "wma", "pdf", "doc", "docx", "xls",
        "xlsx", "ppt",  "pptx", "pps", "ppsx", "odt",  "ods", "odp", "zip", "key"};
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && extensions.contains(name.mid(dot + 1).toLower());
}
