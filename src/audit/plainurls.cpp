#include "urlclass.h"

#include <QUrlQuery>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace {

// The rest of a URL after its authority, split as a URL is: the path up to the first "?" or
// "#", the query from a "?" before any "#", the fragment after the "#".
struct RestParts
{
    QStringView path;
    std::optional<QStringView> query;
    std::optional<QStringView> fragment;
};

RestParts splitRest(QStringView rest)
{
    RestParts parts;
    if (const qsizetype fragment = rest.indexOf(QLatin1Char('#')); fragment >= 0) {
        parts.fragment = rest.sliced(fragment + 1);
        rest = rest.first(fragment);
    }
    if (const qsizetype query = rest.indexOf(QLatin1Char('?')); query >= 0) {
        parts.query = rest.sliced(query + 1);
        rest = rest.first(query);
    }
    parts.path = rest;
    return parts;
}

// Letters, digits, dots and hyphens, then perhaps a port: what QUrl takes as it is, so that the
// start parsed once stands for every URL written with it.
bool isPlainAuthority(QStringView authority)
{
    const qsizetype colon = authority.indexOf(QLatin1Char(':'));
    const QStringView host = colon < 0 ? authority : authority.first(colon);
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') &&
            c != QLatin1Char('-'))
            return false;
    }
    for (const QChar c : colon < 0 ? QStringView() : authority.sliced(colon + 1)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Whether written starts with the start's text, up to the end of its authority.
bool startsWith(QStringView written, const UrlStarts::Start& start)
{
    const qsizetype size = start.text.size();
    if (written.size() < size || written.first(size) != start.text)
        return false;
    const QStringView rest = written.sliced(size);
    return rest.isEmpty() || rest[0] == u'?' || rest[0] == u'#' ||
           (rest[0] == u'/' && (rest.size() == 1 || rest[1] != u'/'));
}

} // namespace

const UrlStarts::Start* UrlStarts::startOf(const QString& written, qsizetype& restAt)
{
    // Most URLs start as the one before did, or as another that the post uses: a post names few
    // hosts, and a comparison of their texts costs less than reading the authority anew.
    for (size_t k = 0; k < starts_.size(); ++k) {
        const size_t i = k == 0 ? last_ : (k <= last_ ? k - 1 : k);
        if (i < starts_.size() && startsWith(written, starts_[i])) {
            last_ = i;
            restAt = starts_[i].text.size();
            return &starts_[i];
        }
    }
    const qsizetype colon = written.indexOf(QLatin1Char(':'));
    const QStringView scheme = QStringView(written).first(qMax<qsizetype>(colon, 0));
    const bool http = isScheme(scheme, "http");
    if ((!http && !isScheme(scheme, "https")) ||
        QStringView(written).sliced(colon + 1).left(2) != QLatin1String("//"))
        return nullptr;
    qsizetype end = colon + 3;
    while (end < written.size() && written.at(end) != QLatin1Char('/') &&
           written.at(end) != QLatin1Char('?') && written.at(end) != QLatin1Char('#'))
        ++end;
    // A path that starts with "//" would be read as an authority of its own.
    if (!isPlainAuthority(QStringView(written).sliced(colon + 3, end - colon - 3)) ||
        QStringView(written).sliced(end).startsWith(QLatin1String("//")))
        return nullptr;
    restAt = end;
    const QStringView text = QStringView(written).first(end);
    const auto known = std::find_if(starts_.begin(), starts_.end(),
                                    [&](const Start& start) { return start.text == text; });
    if (known != starts_.end()) {
        last_ = size_t(known - starts_.begin());
        return &*known;
    }
    const QUrl parsed(text.toString(), QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return nullptr;
    Start fresh{text.toString(), parsed, parsed.host(), hostKey(parsed), http, false};
    fresh.mediaHost = isMediaHost(fresh.host);
    // A hostile post may name a host per URL: the starts kept stay few.
    constexpr size_t kept = 64;
    last_ = starts_.size() < kept ? starts_.size() : replaced_++ % kept;
    if (starts_.size() < kept)
        return &starts_.emplace_back(std::move(fresh));
    return &(starts_[last_] = std::move(fresh));
}

bool UrlStarts::parse(const QString& written, QUrl& url)
{
    qsizetype restAt = 0;
    const Start* start = startOf(written, restAt);
    if (start == nullptr)
        return false;
    const QStringView rest = QStringView(written).sliced(restAt);
    url = start->url;
    const RestParts parts = splitRest(rest);
    if (!parts.path.isEmpty())
        url.setPath(parts.path.toString(), QUrl::TolerantMode);
    if (parts.query)
        url.setQuery(parts.query->toString(), QUrl::TolerantMode);
    if (parts.fragment)
        url.setFragment(parts.fragment->toString(), QUrl::TolerantMode);
    return true;
}

namespace {

// ASCII letters and digits and what a path, query or fragment holds unescaped: what QUrl's
// tolerant parse leaves as written, and what decodes to itself.
bool isPlainRest(QStringView rest)
{
    static constexpr std::array<bool, 128> plain = [] {
        std::array<bool, 128> table{};
        for (int c = 0; c < 128; ++c)
            table[size_t(c)] =
                (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                std::string_view("-._~!$&'()*+,;=:@/?#").find(char(c)) != std::string_view::npos;
        return table;
    }();
    return std::all_of(rest.begin(), rest.end(),
                       [](QChar c) { return c.unicode() < 128 && plain[c.unicode()]; });
}

// A web URL whose start is known and whose rest is plain: its path and query are its text, and
// QUrl has nothing left to parse. The inventory's resolved text comes from QUrl still.
PreparedUrl preparePlain(const UrlStarts::Start& start, QStringView rest, UrlUse use)
{
    PreparedUrl prepared;
    prepared.needsHosts = true;
    prepared.insecure = start.http;
    prepared.host = start.host;
    prepared.hostKey = start.key;
    if (!use.link && !use.media)
        return prepared;
    const RestParts parts = splitRest(rest);
    const QString path = parts.path.toString();
    prepared.mediaKey = mediaKey(path, start.mediaHost);
    if (use.link && !prepared.mediaKey.isEmpty())
        prepared.mediaExtension = hasMediaExtension(path);
    if (use.link && !prepared.mediaExtension) {
        std::optional<QUrlQuery> items;
        if (parts.query)
            items.emplace(parts.query->toString());
        prepared.linkTarget = linkTargetOf(items ? &*items : nullptr, path);
    }
    return prepared;
}

// The start of a URL that preparePlainUrl() takes, and its rest; null for any other.
const UrlStarts::Start* plainStartAndRest(const QString& url, HostMemo& hosts, QStringView& rest)
{
    qsizetype restAt = 0;
    const UrlStarts::Start* start = hosts.starts().startOf(url, restAt);
    if (start == nullptr)
        return nullptr;
    rest = QStringView(url).sliced(restAt);
    return isPlainRest(rest) ? start : nullptr;
}

} // namespace

std::optional<PreparedUrl> preparePlainUrl(const QString& written, UrlUse use, HostMemo& hosts,
                                           QStringView keysHost)
{
    QStringView rest;
    const UrlStarts::Start* start =
        use.keepResolved ? nullptr : plainStartAndRest(written, hosts, rest);
    if (start == nullptr)
        return std::nullopt;
    const bool keysLeftOut =
        !keysHost.isEmpty() && start->key != keysHost && (use.link || use.media);
    if (keysLeftOut)
        use.link = use.media = false;
    PreparedUrl prepared = preparePlain(*start, rest, use);
    prepared.keysLeftOut = keysLeftOut;
    return prepared;
}

namespace {

// Whether a path holds a "." or ".." segment, which resolving removes.
bool hasDotSegment(QStringView path)
{
    for (const QStringView segment : path.tokenize(u'/')) {
        if (segment == u"." || segment == u"..")
            return true;
    }
    return false;
}

} // namespace

std::optional<PreparedUrl> preparePlainRelative(const QString& written, const QString& base,
                                                UrlUse use, HostMemo& hosts)
{
    // A reference of plain characters without a scheme, an authority or dot segments, against a
    // plain base: resolving it is putting its path after the base's directory, as QUrl would.
    if (use.keepResolved || written.isEmpty() || written.startsWith(u'#') ||
        written.startsWith(u"//") || written.contains(u':') || !isPlainRest(written))
        return std::nullopt;
    QStringView baseRest;
    const UrlStarts::Start* start = plainStartAndRest(base, hosts, baseRest);
    if (start == nullptr)
        return std::nullopt;
    const QStringView basePath = splitRest(baseRest).path;
    const RestParts reference = splitRest(written);
    if (hasDotSegment(basePath) || hasDotSegment(reference.path))
        return std::nullopt;
    QStringView directory;
    if (written.startsWith(u'/'))
        directory = {};
    else if (reference.path.isEmpty())
        directory = basePath;
    else if (basePath.isEmpty())
        directory = u"/";
    else
        directory = basePath.first(basePath.lastIndexOf(u'/') + 1);
    QString resolved;
    resolved.reserve(directory.size() + written.size());
    resolved.append(directory).append(written);
    PreparedUrl prepared = preparePlain(*start, resolved, use);
    // Written without a host, it is on the page's own, whatever the site's hosts are.
    prepared.urlClass = UrlClass::Current;
    prepared.needsHosts = false;
    prepared.insecure = false;
    prepared.hostKey.clear();
    return prepared;
}

const UrlStarts::Start* plainStart(const QString& url, HostMemo& hosts, QStringView* path)
{
    QStringView rest;
    const UrlStarts::Start* start = plainStartAndRest(url, hosts, rest);
    if (start != nullptr && path != nullptr)
        *path = splitRest(rest).path;
    return start;
}

QString plainHostKey(const QString& url, HostMemo& hosts)
{
    const UrlStarts::Start* start = plainStart(url, hosts);
    return start != nullptr ? start->key : QString();
}
