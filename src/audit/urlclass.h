#pragma once

#include "analysis/texthash.h"
#include "audititem.h"
#include "sitepaths.h"

#include <QSet>
#include <QString>
#include <QUrl>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

enum class UrlClass
{
    Current,
    Site,
    External,
    Fragment,
    Mailto,
    Tel,
    Data,
    Javascript,
    Other,
    Invalid
};

// "current", "site", "external", ...
QString urlClassName(UrlClass urlClass);

class HostMemo;

// The hosts that belong to this site: the current one, at the address the site has now, and
// those the export shows it had or has besides.
class SiteHosts
{
public:
    explicit SiteHosts(const SiteInfo& site);

    // Takes the hosts of an item's guid and attachment URL; hosts spares parsing the plain ones.
    void addItem(const AuditItem& item, HostMemo& hosts);

    const QUrl& currentAddress() const { return current_; }
    const QString& currentHost() const { return currentKey_; }
    bool isCurrent(const QUrl& url) const;
    bool isSite(const QUrl& url) const;
    // current, site or external, by hostKey()
    UrlClass classOfHost(const QString& key) const;
    // How many hosts besides the current one: it grows as items show more.
    qsizetype otherHostCount() const { return otherKeys_.size(); }

private:
    void addHostOf(const QString& url, HostMemo* hosts = nullptr);

    QUrl current_;
    QString currentKey_;
    QSet<HashedString> otherKeys_;
    // The class last asked for, and how many other hosts there were then: they only grow. Kept
    // by classOfHost(), which is therefore asked from one thread at a time, as the audit does.
    mutable QString lastKey_;
    mutable UrlClass lastClass_ = UrlClass::External;
    mutable qsizetype lastOtherCount_ = -1;
};

// A host as the audit compares them: without case, without a leading "www.", with its port
// only when that is not the scheme's default.
QString hostKey(const QUrl& url);

struct ClassifiedUrl
{
    UrlClass urlClass = UrlClass::Invalid;
    QUrl resolved;         // against the post's own address, as a browser on its page would
    bool insecure = false; // written with http:
};

ClassifiedUrl classifyUrl(const QString& written, const QUrl& base, const SiteHosts& hosts);

// A URL made ready for classing, before the site's hosts are known: everything that needs no
// more than the URL and its post's address, so that it can be made on any thread. Of a web URL
// with a host, the class waits for classOf().
struct PreparedUrl
{
    UrlClass urlClass = UrlClass::Invalid; // final unless needsHosts
    bool needsHosts = false;
    bool insecure = false;       // written with http:
    bool mediaExtension = false; // of the resolved path, of a link to an uploaded file
    bool resolvedKept = false;
    // Made without mediaKey and linkTarget, which only a URL on the site's hosts needs: they are
    // made where its host turns out to be one.
    bool keysLeftOut = false;
    // As text, only when asked for: a parsed URL held for each of millions costs far more.
    QString resolved;
    QString host;
    QString hostKey;
    // Of a URL that may be the site's, what the audit judges there: the uploaded file of a media
    // place or of a link (see sitepaths.h), else what the link names apart from the site's path.
    QString mediaKey;
    PostTarget linkTarget;
};

// A scheme against a lower-case name, ASCII letters compared without case: QString's own
// comparison without case takes a general path, once for each URL of an export.
inline bool isScheme(QStringView scheme, std::string_view lower)
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

// The schemes and authorities of the web URLs a thread has met, each parsed once: an export
// names a few hosts in hundreds of thousands of URLs, and the host is what costs most in parsing
// one. The rest of a URL is parsed by QUrl as its components.
class UrlStarts
{
public:
    // Sets url to what QUrl(written, QUrl::TolerantMode) parses; false, url untouched, for
    // anything but an http or https URL whose authority is a host of letters, digits, dots and
    // hyphens with an optional port.
    bool parse(const QString& written, QUrl& url);

    struct Start
    {
        QString text; // as written
        QUrl url;     // the scheme and authority alone
        QString host;
        QString key; // hostKey()
        bool http = false;
        bool mediaHost = false;
    };
    // The start of such a URL, and where the rest of it begins; null for any other URL.
    const Start* startOf(const QString& written, qsizetype& restAt);

private:
    std::vector<Start> starts_;
    size_t replaced_ = 0;
    size_t last_ = 0; // the start met last
};

// What the audit takes of a URL's host, kept for the last few hosts met: a post's URLs use few,
// each many times. One belongs to one thread.
class HostMemo
{
public:
    struct Host
    {
        QString host;
        QString key; // hostKey() when the URL's port is its scheme's default
        bool mediaHost = false;
    };
    const Host& of(const QUrl& resolved);
    UrlStarts& starts() { return starts_; }

private:
    UrlStarts starts_;
    std::array<Host, 4> recent_; // those of no host to begin with
    size_t next_ = 0;
};

// How the page uses a URL (followed when clicked, or loaded as media), and whether its resolved
// form is kept, for the inventory.
struct UrlUse
{
    bool link = false;
    bool media = false;
    bool keepResolved = false;
};

PreparedUrl prepareUrl(const QString& written, const QUrl& base, UrlUse use, HostMemo& hosts);
// The same for an http or https URL of a plain host (see UrlStarts) whose path, query and
// fragment hold only plain characters: it needs neither a base nor more of QUrl. Nothing for any
// other.
// With a keysHost, a URL on another host is prepared with its keys left out.
std::optional<PreparedUrl> preparePlainUrl(const QString& written, UrlUse use, HostMemo& hosts,
                                           QStringView keysHost = {});
// The same for a relative reference of plain characters without dot segments against a base that
// preparePlainUrl() takes. Nothing for any other, nor when the resolved form is to be kept.
std::optional<PreparedUrl> preparePlainRelative(const QString& written, const QString& base,
                                                UrlUse use, HostMemo& hosts);
// The start of a URL that preparePlainUrl() takes, with its path, which QUrl gives as written
// whether decoded or not; null for any other.
const UrlStarts::Start* plainStart(const QString& url, HostMemo& hosts,
                                   QStringView* path = nullptr);
// The key of the host of a URL that preparePlainUrl() takes, or nothing.
QString plainHostKey(const QString& url, HostMemo& hosts);
// The URL's class by what the export has said of the site's hosts so far.
UrlClass classOf(const PreparedUrl& prepared, const SiteHosts& hosts);
