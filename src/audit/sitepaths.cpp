#include "sitepaths.h"

#include <QUrlQuery>

#include <algorithm>
#include <array>
#include <string_view>

namespace {

QString withoutFinalSlash(QString path)
{
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// How many digits end text before its end.
qsizetype digitsBefore(QStringView text, qsizetype end)
{
    qsizetype start = end;
    while (start > 0 && isDigit(text[start - 1]))
        --start;
    return end - start;
}

// "/2019", "/2019/05", "/2019/05/31"
bool isDateArchive(QStringView path)
{
    const auto digitsAt = [&](qsizetype at, qsizetype count) {
        return digitsBefore(path, at + count) >= count;
    };
    const qsizetype size = path.size();
    if ((size != 5 && size != 8 && size != 11) || !digitsAt(1, 4))
        return false;
    for (qsizetype slash = 5; slash < size; slash += 3) {
        if (path[slash] != QLatin1Char('/') || !digitsAt(slash + 1, 2))
            return false;
    }
    return path[0] == QLatin1Char('/');
}

bool isUnjudgedPath(QStringView path)
{
    static const QLatin1String prefixes[] = {
        QLatin1String("/wp-admin"),   QLatin1String("/wp-login"),    QLatin1String("/wp-json"),
        QLatin1String("/wp-content"), QLatin1String("/wp-includes"), QLatin1String("/feed")};
    static const QLatin1String folders[] = {QLatin1String("/category"), QLatin1String("/tag"),
                                            QLatin1String("/author"),   QLatin1String("/page"),
                                            QLatin1String("/comments"), QLatin1String("/search")};
    // A folder or a script of WordPress's own: "/feed" and "/wp-login.php", not "/feedback".
    const auto endsAt = [&](qsizetype at, bool script) {
        return path.size() == at || path[at] == QLatin1Char('/') ||
               (script && path[at] == QLatin1Char('.'));
    };
    // Most paths begin with a letter that none of the words does: their first letters are
    // compared first, for every link to the site.
    const char16_t first = path.size() > 1 ? path[1].unicode() : 0;
    for (const QLatin1String prefix : prefixes) {
        if (prefix[1].unicode() == first && path.startsWith(prefix) && endsAt(prefix.size(), true))
            return true;
    }
    for (const QLatin1String folder : folders) {
        if (folder[1].unicode() == first && path.startsWith(folder) && endsAt(folder.size(), false))
            return true;
    }
    return isDateArchive(path);
}

// The length of the size ("-300x200"), scaling, rotation or edit ("-e" and ten digits or more)
// suffix that ends a file's name before its extension; 0 when none does.
qsizetype imageSuffixLength(QStringView stem)
{
    for (const QLatin1String word : {QLatin1String("-scaled"), QLatin1String("-rotated")}) {
        if (stem.endsWith(word))
            return word.size();
    }
    const qsizetype size = stem.size();
    const qsizetype digits = digitsBefore(stem, size);
    const qsizetype at = size - digits; // the digits' first
    if (digits == 0 || at < 2)
        return 0;
    if (stem[at - 1] == QLatin1Char('e'))
        return stem[at - 2] == QLatin1Char('-') && digits >= 10 ? digits + 2 : 0;
    if (stem[at - 1] != QLatin1Char('x'))
        return 0;
    const qsizetype width = digitsBefore(stem, at - 1);
    const qsizetype dash = at - 2 - width;
    return width > 0 && dash >= 0 && stem[dash] == QLatin1Char('-') ? size - dash : 0;
}

} // namespace

QString postPathKey(const QUrl& link)
{
    return postPathKey(link.path(QUrl::FullyDecoded));
}

QString postPathKey(const QString& decodedPath)
{
    return withoutFinalSlash(decodedPath);
}

PostTarget linkTargetOf(const QUrl& resolved, const QString& decodedPath)
{
    if (!resolved.hasQuery())
        return linkTargetOf(nullptr, decodedPath);
    const QUrlQuery query(resolved);
    return linkTargetOf(&query, decodedPath);
}

PostTarget linkTargetOf(const QUrlQuery* query, const QString& decodedPath)
{
    PostTarget target;
    if (query != nullptr) {
        for (const char* key : {"p", "page_id", "attachment_id"}) {
            bool isNumber = false;
            const qlonglong id = query->queryItemValue(QLatin1String(key)).toLongLong(&isNumber);
            if (id > 0 && isNumber) {
                target.kind = PostTarget::ById;
                target.key = QString::number(id);
                return target;
            }
        }
        for (const char* key : {"s", "cat", "tag", "feed"}) {
            if (query->hasQueryItem(QLatin1String(key)))
                return target;
        }
    }
    target.kind = PostTarget::ByPath;
    target.key = withoutFinalSlash(decodedPath);
    return target;
}

PostTarget postTargetOf(const PostTarget& linkTarget, const QString& sitePath)
{
    if (linkTarget.kind != PostTarget::ByPath)
        return linkTarget;
    QStringView withinSite = linkTarget.key;
    const QString base = withoutFinalSlash(sitePath);
    if (!base.isEmpty() && withinSite.startsWith(base) &&
        (withinSite.size() == base.size() || withinSite[base.size()] == QLatin1Char('/')))
        withinSite = withinSite.mid(base.size());
    if (withinSite.isEmpty() || isUnjudgedPath(withinSite))
        return {};
    PostTarget target = linkTarget;
    // The key has no final "/": its last segment follows its last "/".
    target.lastSegment = target.key.mid(target.key.lastIndexOf(QLatin1Char('/')) + 1);
    return target;
}

PostTarget postTargetOf(const QUrl& resolved, const QString& sitePath)
{
    return postTargetOf(linkTargetOf(resolved, resolved.path(QUrl::FullyDecoded)), sitePath);
}

QString mediaKey(const QUrl& resolved)
{
    return mediaKey(resolved.path(QUrl::FullyDecoded), isMediaHost(resolved.host()));
}

bool isMediaHost(const QString& host)
{
    return host.toLower().endsWith(QLatin1String(".files.wordpress.com"));
}

QString mediaKey(const QString& decodedPath, bool onMediaHost)
{
    static const QLatin1String uploads("/wp-content/uploads/");
    const qsizetype at = decodedPath.indexOf(uploads);
    QString key;
    if (at >= 0)
        key = decodedPath.mid(at + uploads.size());
    else if (onMediaHost)
        key = decodedPath.mid(1);
    else
        return {};
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = key.lastIndexOf(QLatin1Char('.'));
    const qsizetype extensionAt = dot > slash ? dot : key.size();
    // A resized copy of an edited image carries more than one suffix.
    qsizetype stemLength = extensionAt;
    for (int removed = 0; removed < 8; ++removed) {
        const qsizetype suffix = imageSuffixLength(QStringView(key).left(stemLength));
        if (suffix == 0)
            break;
        stemLength -= suffix;
    }
    if (stemLength < extensionAt)
        key.remove(stemLength, extensionAt - stemLength);
    return key;
}

bool hasMediaExtension(const QString& path)
{
    // Sorted, for a binary search.
    static constexpr std::array<std::string_view, 43> extensions = {
        "3gp",  "aac",  "avi", "avif", "bmp",  "doc", "docx", "flac", "gif",  "heic", "ico",
        "jpeg", "jpg",  "key", "m4a",  "m4v",  "mkv", "mov",  "mp3",  "mp4",  "odp",  "ods",
        "odt",  "oga",  "ogg", "ogv",  "pdf",  "png", "pps",  "ppsx", "ppt",  "pptx", "svg",
        "tif",  "tiff", "wav", "webm", "webp", "wma", "wmv",  "xls",  "xlsx", "zip"};
    static_assert(std::is_sorted(extensions.begin(), extensions.end()));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return false;
    const QStringView extension = QStringView(path).mid(dot + 1);
    std::array<char, 4> lower{};
    if (extension.size() > qsizetype(lower.size()))
        return false;
    for (qsizetype i = 0; i < extension.size(); ++i) {
        const char16_t c = extension[i].unicode();
        // Lowered beyond ASCII, a letter may become one of ASCII's (the Kelvin sign a "k").
        if (c >= 0x80)
            return std::binary_search(extensions.begin(), extensions.end(),
                                      extension.toString().toLower().toStdString());
        lower[size_t(i)] = char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return std::binary_search(extensions.begin(), extensions.end(),
                              std::string_view(lower.data(), size_t(extension.size())));
}
