#include "urlclass.h"

#include <optional>
#include <utility>

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

void SiteHosts::addHostOf(const QString& address, HostMemo* hosts)
{
    const QString trimmed = address.trimmed();
    // Most items have no attachment URL, and some exports no guids: no address to parse.
    if (trimmed.isEmpty())
        return;
    QString key = hosts != nullptr ? plainHostKey(trimmed, *hosts) : QString();
    if (key.isEmpty()) {
        const QUrl url(trimmed);
        if (!isWebUrl(url))
            return;
        key = hostKey(url);
    }
    if (key != currentKey_)
        otherKeys_.insert({key});
}

void SiteHosts::addItem(const AuditItem& item, HostMemo& hosts)
{
    addHostOf(item.guid, &hosts);
    addHostOf(item.attachmentUrl, &hosts);
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
    // Most keys asked for are the one asked for before, shared from one memo of the hosts met:
    // the same text, not only an equal one. Held here, it cannot be freed and its room reused.
    if (key.constData() == lastKey_.constData() && key.size() == lastKey_.size() &&
        otherKeys_.size() == lastOtherCount_)
        return lastClass_;
    const UrlClass urlClass = !currentKey_.isEmpty() && key == currentKey_ ? UrlClass::Current
                              : otherKeys_.contains({key})                 ? UrlClass::Site
                                                                           : UrlClass::External;
    lastKey_ = key;
    lastClass_ = urlClass;
    lastOtherCount_ = otherKeys_.size();
    return urlClass;
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
