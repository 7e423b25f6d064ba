#include "urlclass.h"

#include <QUrlQuery>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

QString urlClassName(UrlClass urlClass)
{
    static const char* const names[] = {"current", "site", "external",   "fragment", "mailto",
                                        "tel",     "data", "javascript", "other",    "invalid"};
    return QString::fromLatin1(names[int(urlClass)]);
}

QString hostKey(const QUrl& url)
{
    QString host = url.host().toLower();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    const int port = url.port();
    if (port == -1)
        return host;
    const QString scheme = url.scheme().toLower();
    const bool defaultPort = port == -1 || (scheme == QLatin1String("http") && port == 80) ||
                             (scheme == QLatin1String("https") && port == 443);
    if (!defaultPort && !host.isEmpty())
        host += QLatin1Char(':') + QString::number(port);
    return host;
}

namespace {

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

// A scheme against a lower-case name, ASCII letters compared without case: QString's own
// comparison without case takes a general path, once for each URL of an export.
bool isScheme(QStringView scheme, std::string_view lower)
{
    if (scheme.size() != qsizetype(lower.size()))
        return false;
    for (size_t i = 0; i < lower.size(); ++i) {
        const char16_t c = scheme[qsizetype(i)].unicode();
        if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) != char16_t(lower[i]))
            return false;
    }
    return true;
}

// The scheme a URL is written with, in ASCII only, or nothing for a relative one.
QStringView schemeOf(const QString& url)
{
    for (qsizetype i = 0; i < url.size(); ++i) {
        const QChar c = url.at(i);
        if (c == QLatin1Char(':'))
            return QStringView(url).left(i);
        const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                            (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        const bool other = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
        if (!letter && (i == 0 || !other))
            return {};
    }
    return {};
}

} // namespace

SiteHosts::SiteHosts(const SiteInfo& site)
{
    for (const QString& address : {site.namedUrl, site.channelLink, site.baseBlogUrl}) {
        const QUrl url(address.trimmed());
        if (current_.isEmpty() && isWebUrl(url))
            current_ = url;
    }
    currentKey_ = hostKey(current_);
    addHostOf(site.channelLink);
    addHostOf(site.baseBlogUrl);
    for (const QString& host : site.namedHosts)
        addHostOf(QLatin1String("http://") + host.trimmed());
}

void SiteHosts::addHostOf(const QString& address)
{
    const QUrl url(address.trimmed());
    if (!isWebUrl(url))
        return;
    const QString key = hostKey(url);
    if (key != currentKey_)
        otherKeys_.insert({key});
}

void SiteHosts::addItem(const AuditItem& item)
{
    addHostOf(item.guid);
    addHostOf(item.attachmentUrl);
}

bool SiteHosts::isCurrent(const QUrl& url) const
{
    return !currentKey_.isEmpty() && hostKey(url) == currentKey_;
}

bool SiteHosts::isSite(const QUrl& url) const
{
    return otherKeys_.contains({hostKey(url)});
}

UrlClass SiteHosts::classOfHost(const QString& key) const
{
    if (!currentKey_.isEmpty() && key == currentKey_)
        return UrlClass::Current;
    return otherKeys_.contains({key}) ? UrlClass::Site : UrlClass::External;
}

namespace {

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

} // namespace

const UrlStarts::Start* UrlStarts::startOf(const QString& written, qsizetype& restAt)
{
    // Most URLs start as the one before did.
    if (last_ < starts_.size()) {
        const Start& start = starts_[last_];
        const qsizetype size = start.text.size();
        const QStringView rest = QStringView(written).sliced(qMin(size, written.size()));
        if (written.size() >= size && QStringView(written).first(size) == start.text &&
            (rest.isEmpty() || rest[0] == u'/' || rest[0] == u'?' || rest[0] == u'#') &&
            !rest.startsWith(QLatin1String("//"))) {
            restAt = size;
            return &start;
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
    const qsizetype query = rest.indexOf(QLatin1Char('?'));
    const qsizetype fragment = rest.indexOf(QLatin1Char('#'));
    const bool hasQuery = query >= 0 && (fragment < 0 || query < fragment);
    const qsizetype pathEnd = hasQuery ? query : fragment >= 0 ? fragment : rest.size();
    if (pathEnd > 0)
        url.setPath(rest.first(pathEnd).toString(), QUrl::TolerantMode);
    if (hasQuery)
        url.setQuery(
            rest.sliced(query + 1, (fragment >= 0 ? fragment : rest.size()) - query - 1).toString(),
            QUrl::TolerantMode);
    if (fragment >= 0)
        url.setFragment(rest.sliced(fragment + 1).toString(), QUrl::TolerantMode);
    return true;
}

namespace {

// All of the classing but the hosts: a web URL with a host comes back as External, needsHosts.
// With starts, a web URL's start comes from there.
ClassifiedUrl classifyApartFromHosts(const QString& written, const QUrl& base, bool& needsHosts,
                                     UrlStarts* starts = nullptr)
{
    needsHosts = false;
    ClassifiedUrl result;
    if (written.startsWith(QLatin1Char('#'))) {
        result.urlClass = UrlClass::Fragment;
        result.resolved = base.resolved(QUrl(written));
        return result;
    }
    const QStringView scheme = schemeOf(written);
    const auto is = [&](const char* name) { return isScheme(scheme, name); };
    static const std::pair<const char*, UrlClass> named[] = {{"mailto", UrlClass::Mailto},
                                                             {"tel", UrlClass::Tel},
                                                             {"data", UrlClass::Data},
                                                             {"javascript", UrlClass::Javascript}};
    // These are not parsed: a data URI may be megabytes long, and none of them has a host.
    for (const auto& [name, urlClass] : named) {
        if (is(name)) {
            result.urlClass = urlClass;
            return result;
        }
    }
    QUrl url;
    if (starts == nullptr || !starts->parse(written, url))
        url = QUrl(written, QUrl::TolerantMode);
    // An empty href is a link to the page it stands on, as a browser reads it.
    if (written.isEmpty()) {
        result.urlClass = UrlClass::Current;
        result.resolved = base;
        return result;
    }
    if (!url.isValid()) {
        result.urlClass = UrlClass::Invalid;
        return result;
    }
    const bool http = is("http");
    if (!scheme.isEmpty() && !http && !is("https")) {
        result.urlClass = UrlClass::Other;
        result.resolved = url;
        return result;
    }
    result.resolved = url.isRelative() ? base.resolved(url) : url;
    result.insecure = http;
    const bool hasHost = !url.host().isEmpty();
    if (!scheme.isEmpty() && !hasHost)
        result.urlClass = UrlClass::Invalid;
    else if (!hasHost)
        result.urlClass = UrlClass::Current;
    else
        needsHosts = true;
    return result;
}

} // namespace

ClassifiedUrl classifyUrl(const QString& written, const QUrl& base, const SiteHosts& hosts)
{
    bool needsHosts = false;
    ClassifiedUrl result = classifyApartFromHosts(written, base, needsHosts);
    if (needsHosts)
        result.urlClass = hosts.classOfHost(hostKey(result.resolved));
    return result;
}

const HostMemo::Host& HostMemo::of(const QUrl& resolved)
{
    const QString host = resolved.host();
    for (const Host& known : recent_) {
        if (known.host == host)
            return known;
    }
    Host& added = recent_[next_];
    next_ = (next_ + 1) % recent_.size();
    added.host = host;
    added.key = host.toLower();
    if (added.key.startsWith(QLatin1String("www.")))
        added.key.remove(0, 4);
    added.mediaHost = isMediaHost(host);
    return added;
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
    const qsizetype query = rest.indexOf(QLatin1Char('?'));
    const qsizetype fragment = rest.indexOf(QLatin1Char('#'));
    const bool hasQuery = query >= 0 && (fragment < 0 || query < fragment);
    const QString path = rest.first(hasQuery        ? query
                                    : fragment >= 0 ? fragment
                                                    : rest.size())
                             .toString();
    prepared.mediaKey = mediaKey(path, start.mediaHost);
    if (use.link && !prepared.mediaKey.isEmpty())
        prepared.mediaExtension = hasMediaExtension(path);
    if (use.link && !prepared.mediaExtension) {
        std::optional<QUrlQuery> items;
        if (hasQuery)
            items.emplace(
                rest.sliced(query + 1, (fragment >= 0 ? fragment : rest.size()) - query - 1)
                    .toString());
        prepared.linkTarget = linkTargetOf(items ? &*items : nullptr, path);
    }
    return prepared;
}

} // namespace

std::optional<PreparedUrl> preparePlainUrl(const QString& written, UrlUse use, HostMemo& hosts)
{
    qsizetype restAt = 0;
    const UrlStarts::Start* start =
        use.keepResolved ? nullptr : hosts.starts().startOf(written, restAt);
    if (start == nullptr || !isPlainRest(QStringView(written).sliced(restAt)))
        return std::nullopt;
    return preparePlain(*start, QStringView(written).sliced(restAt), use);
}

PreparedUrl prepareUrl(const QString& written, const QUrl& base, UrlUse use, HostMemo& hosts)
{
    if (std::optional<PreparedUrl> plain = preparePlainUrl(written, use, hosts))
        return *std::move(plain);
    PreparedUrl prepared;
    const ClassifiedUrl url =
        classifyApartFromHosts(written, base, prepared.needsHosts, &hosts.starts());
    prepared.urlClass = url.urlClass;
    prepared.insecure = url.insecure;
    const QUrl& resolved = url.resolved;
    if (use.keepResolved) {
        prepared.resolved = resolved.toString();
        prepared.resolvedKept = true;
    }
    const HostMemo::Host& host = hosts.of(resolved);
    prepared.host = host.host;
    if (prepared.needsHosts)
        prepared.hostKey = resolved.port() == -1 ? host.key : hostKey(resolved);
    if ((!prepared.needsHosts && url.urlClass != UrlClass::Current) || (!use.link && !use.media))
        return prepared;
    const QString path = resolved.path(QUrl::FullyDecoded);
    prepared.mediaKey = mediaKey(path, host.mediaHost);
    if (use.link && !prepared.mediaKey.isEmpty())
        prepared.mediaExtension = hasMediaExtension(resolved.path());
    // A link to an uploaded file names that file, not a post.
    if (use.link && !prepared.mediaExtension)
        prepared.linkTarget = linkTargetOf(resolved, path);
    return prepared;
}

UrlClass classOf(const PreparedUrl& prepared, const SiteHosts& hosts)
{
    return prepared.needsHosts ? hosts.classOfHost(prepared.hostKey) : prepared.urlClass;
}
