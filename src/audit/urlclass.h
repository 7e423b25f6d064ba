#pragma once

#include "audititem.h"

#include <QSet>
#include <QString>
#include <QUrl>

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

// The hosts that belong to this site: the current one, at the address the site has now, and
// those the export shows it had or has besides.
class SiteHosts
{
public:
    explicit SiteHosts(const SiteInfo& site);

    // Takes the hosts of an item's guid and attachment URL.
    void addItem(const AuditItem& item);

    const QUrl& currentAddress() const { return current_; }
    const QString& currentHost() const { return currentKey_; }
    bool isCurrent(const QUrl& url) const;
    bool isSite(const QUrl& url) const;

private:
    void addHostOf(const QString& url);

    QUrl current_;
    QString currentKey_;
    QSet<QString> otherKeys_;
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
