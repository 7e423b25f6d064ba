#include "exportaudit.h"

#include "sitepaths.h"

#include "analysis/bodyposition.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

QSet<HashedString> hashed(const QStringList& texts)
{
    QSet<HashedString> set;
    for (const QString& text : texts)
        set.insert({text});
    return set;
}

bool isLoaded(UrlPlace place)
{
    return place == UrlPlace::Media || place == UrlPlace::Loaded;
}

void placeInExport(const AuditItem& item, AuditFinding& finding)
{
    if (item.bodyStart.isKnown() && finding.bodyLine > 0)
        std::tie(finding.exportLine, finding.exportColumn) =
            exportPlaceOf(item, finding.bodyLine, finding.bodyColumn);
}

} // namespace

std::pair<qint64, qint64> exportPlaceOf(const AuditItem& item, qint64 line, qint64 column)
{
    if (!item.bodyStart.isKnown() || line <= 0)
        return {0, 0};
    if (item.places != nullptr)
        return item.places->at(line, column);
    // Lines of the body are lines of the export from where the body starts (an export escapes
    // markup, never line ends); columns match those of the export on the body's first line and
    // wherever the body is held verbatim, as in CDATA.
    return {item.bodyStart.line + line - 1,
            line == 1 ? item.bodyStart.column + column - 1 : column};
}

ExportAudit::ExportAudit(const SiteInfo& site, AuditSink& sink, const QStringList& skippedChecks)
    : hosts_(site), sitePath_(hosts_.currentAddress().path()), sink_(sink),
      skipped_(hashed(skippedChecks))
{}

ExportAudit::~ExportAudit() = default;

void ExportAudit::addItem(const AuditItem& item)
{
    if (!reader_)
        reader_ = std::make_unique<HtmlPostReader>();
    addItem(item, reader_->scan(item.bodyUtf8));
}

void ExportAudit::addItem(const AuditItem& item, const std::any& reading)
{
    if (const auto* scan = std::any_cast<PostScan>(&reading))
        addItem(item, *scan);
    else
        addItem(item);
}

AuditFinding ExportAudit::findingFor(const AuditItem& item, const char* check,
                                     AuditSeverity severity, qint64 line, qint64 column) const
{
    AuditFinding finding;
    finding.check = QString::fromLatin1(check);
    finding.severity = severity;
    finding.title = item.title;
    finding.postId = item.postId;
    finding.sinkTag = item.sinkTag;
    finding.bodyLine = line;
    finding.bodyColumn = column;
    placeInExport(item, finding);
    return finding;
}

void ExportAudit::recordItem(const AuditItem& item, const QString& pathKey)
{
    const qsizetype hostsBefore = hosts_.otherHostCount();
    hosts_.addItem(item, urlHosts_);
    if (hosts_.otherHostCount() != hostsBefore)
        hostsGrewAt_ = candidates_.size();
    const quint32 status = nameIndex(item.status);
    if (!item.postId.isEmpty())
        byId_.keepFirst(item.postId, [&] { return ItemInfo{nameIndex(item.postType), status}; });
    if (!pathKey.isEmpty())
        keepFirst(statusByPath_, HashedString{pathKey}, [&] { return status; });
    if (!item.postName.isEmpty())
        keepFirst(statusByName_, HashedString{item.postName}, [&] { return status; });
    if (item.postType == QLatin1String("attachment")) {
        ++attachmentCount_;
        QStringView path;
        const UrlStarts::Start* start = plainStart(item.attachmentUrl, urlHosts_, &path);
        const QString file = start != nullptr ? mediaKey(path.toString(), start->mediaHost)
                                              : mediaKey(QUrl(item.attachmentUrl));
        if (!file.isEmpty())
            attachmentFiles_.insert({file});
    }
}

const QUrl& ExportAudit::base()
{
    if (!baseParsed_) {
        const QUrl link(link_);
        base_ = link.isValid() && !link.isRelative() ? link : hosts_.currentAddress();
        baseParsed_ = true;
    }
    return base_;
}

void ExportAudit::addItem(const AuditItem& item, const PostScan& scan)
{
    // A plain address is absolute and its path is as written: most items' addresses need no
    // parse.
    QStringView plainPath;
    link_ = item.link;
    if (plainStart(item.link, urlHosts_, &plainPath) != nullptr) {
        baseIsOwn_ = true;
        baseParsed_ = false;
        recordItem(item, postPathKey(plainPath.toString()));
    } else {
        const QUrl link(item.link);
        baseIsOwn_ = link.isValid() && !link.isRelative();
        base_ = baseIsOwn_ ? link : hosts_.currentAddress();
        baseParsed_ = true;
        recordItem(item, postPathKey(link));
    }
    itemHasCandidatePost_ = false;
    postNameIndices_.assign(size_t(scan.names.size()), unknownName);
    std::vector<AuditFinding> findings = scan.findings;
    for (AuditFinding& finding : findings) {
        finding.title = item.title;
        finding.postId = item.postId;
        finding.sinkTag = item.sinkTag;
        placeInExport(item, finding);
    }
    for (size_t i = 0; i < scan.urls.size(); ++i)
        auditUrl(item, scan, i, findings);
    for (const IdReference& id : scan.ids)
        addCandidate(item,
                     id.kind == IdReference::Attachment ? Candidate::AttachmentId
                                                        : Candidate::ReusableBlockId,
                     id.id.toUtf8(),
                     {nameIndex(id.element), nameIndex(id.attribute), id.line, id.column},
                     {id.id, {}});
    bool isNumber = false;
    const qint64 thumbnail = item.thumbnailId.trimmed().toLongLong(&isNumber);
    // The post meta has no place in the body; the body's start is the nearest known.
    if (isNumber && thumbnail > 0)
        addCandidate(item, Candidate::AttachmentId, QByteArray::number(thumbnail),
                     {nameIndex(QStringLiteral("wp:postmeta")),
                      nameIndex(QStringLiteral("_thumbnail_id")), 1, 1},
                     {QString::number(thumbnail), {}});
    std::stable_sort(findings.begin(), findings.end(), [](const auto& a, const auto& b) {
        return std::pair(a.bodyLine, a.bodyColumn) < std::pair(b.bodyLine, b.bodyColumn);
    });
    for (const AuditFinding& finding : findings)
        emitFinding(finding);
    for (auto it = scan.shortcodes.begin(); it != scan.shortcodes.end(); ++it)
        summary_.shortcodes[it.key()] += it.value();
    for (auto it = scan.blocks.begin(); it != scan.blocks.end(); ++it)
        summary_.blocks[it.key()] += it.value();
}

void ExportAudit::countHost(const QString& name, UrlClass urlClass, bool loaded, bool insecure)
{
    // A fragment names the post's own page, not a host that the post uses.
    if (name.isEmpty() || urlClass == UrlClass::Fragment)
        return;
    // A post's URLs use a few hosts, each many times: the last ones counted are kept at hand.
    // Only this adds to the table, so their entries stay where they are until the next host is
    // added, which may move them all.
    AuditSummary::Host* known = nullptr;
    for (AuditSummary::Host* recent : recentHosts_) {
        if (recent != nullptr && recent->host == name) {
            known = recent;
            break;
        }
    }
    if (known == nullptr) {
        const qsizetype before = hostCounts_.size();
        known = &hostCounts_[{name}];
        if (hostCounts_.size() != before) {
            known->host = name;
            recentHosts_.fill(nullptr);
        }
        recentHosts_[nextRecentHost_] = known;
        nextRecentHost_ = (nextRecentHost_ + 1) % recentHosts_.size();
    }
    AuditSummary::Host& host = *known;
    host.urlClass = urlClass;
    ++host.urls;
    host.loaded += loaded;
    host.insecure += insecure;
}

void ExportAudit::auditUrl(const AuditItem& item, const PostScan& scan, size_t index,
                           std::vector<AuditFinding>& findings)
{
    const ScannedUrl& url = scan.urls[index];
    const QByteArrayView text(scan.urlText.data() + url.textStart, url.textLength);
    // Prepared on the checking thread when it could be; only the hosts are decided here.
    const bool keepsUrls = sink_.keepsUrls();
    std::optional<PreparedUrl> preparedHere;
    if (scan.prepared.empty() || (keepsUrls && !scan.prepared[index].resolvedKept))
        preparedHere = prepareUrl(
            scan.urlOf(url), base(),
            {url.place == UrlPlace::Link, url.place == UrlPlace::Media, keepsUrls}, urlHosts_);
    const PreparedUrl* made = preparedHere ? &*preparedHere : &scan.prepared[index];
    const UrlClass urlClass = classOf(*made, hosts_);
    if (made->keysLeftOut && (urlClass == UrlClass::Current || urlClass == UrlClass::Site)) {
        preparedHere = prepareUrl(
            scan.urlOf(url), base(),
            {url.place == UrlPlace::Link, url.place == UrlPlace::Media, keepsUrls}, urlHosts_);
        made = &*preparedHere;
    }
    const PreparedUrl& prepared = *made;
    const bool insecure = prepared.insecure;
    const Where where{nameIndex(scan, url.element), nameIndex(scan, url.attribute), url.line,
                      url.column};
    const QString& element = names_[where.element];
    if (keepsUrls) {
        const auto [exportLine, exportColumn] = exportPlaceOf(item, url.line, url.column);
        sink_.addUrl(item, {element, names_[where.attribute], scan.urlOf(url), prepared.resolved,
                            urlClass, prepared.host, url.line, exportLine, exportColumn,
                            urlClass == UrlClass::External ? prepared.hostKey : QString()});
    }
    const bool loaded = isLoaded(url.place);
    countHost(prepared.host, urlClass, loaded, insecure);
    const auto add = [&](const char* check, AuditSeverity severity, const QString& detail) {
        AuditFinding finding = findingFor(item, check, severity, url.line, url.column);
        const QString written = scan.urlOf(url);
        finding.subject = written.size() > 200 ? written.left(200) + QChar(0x2026) : written;
        finding.element = element;
        finding.attribute = names_[where.attribute];
        finding.detail = detail;
        findings.push_back(std::move(finding));
    };
    if (urlClass == UrlClass::Data && url.textLength > 100000)
        add("data-uri", AuditSeverity::Warning,
            QStringLiteral("data: URI of %1 bytes").arg(url.textLength));
    if (urlClass == UrlClass::Javascript)
        add("script-url", AuditSeverity::Warning, QStringLiteral("javascript: URL"));
    if (urlClass == UrlClass::Site)
        add("site-host", AuditSeverity::Warning,
            QStringLiteral("the current host is %1").arg(hosts_.currentHost()));
    if (insecure && loaded)
        add("insecure-resource", AuditSeverity::Warning,
            QStringLiteral("http: %1 loaded by the page").arg(element));
    if (urlClass == UrlClass::Current || urlClass == UrlClass::Site)
        checkTarget(item, text, prepared, url.place, where);
    const bool insecureLink =
        insecure && url.place == UrlPlace::Link && urlClass == UrlClass::External;
    // Kept for the end, up to a bound on what an export of millions of links holds: past it, a
    // URL is judged by the hosts known when its post is read.
    constexpr qint64 externalsKeptAtMost = 1 << 15;
    if (urlClass == UrlClass::External && url.textLength <= 2048 &&
        externalsKept_ < externalsKeptAtMost) {
        ++externalsKept_;
        addCandidate(item, Candidate::ExternalUrl, text, where, {prepared.hostKey, {}}, url.place,
                     insecureLink);
    } else if (insecureLink) {
        add("insecure-link", AuditSeverity::Note, QStringLiteral("http: link"));
    }
}

void ExportAudit::emitFinding(const AuditFinding& finding, bool listed)
{
    if (skipped_.contains({finding.check}))
        return;
    ++summary_.checks[finding.check][int(finding.severity)];
    if (listed)
        sink_.addFinding(finding);
}

void ExportAudit::finish()
{
    size_t index = 0;
    candidates_.forEach([&](const Candidate& candidate) {
        // A URL kept for being on another's host, after the site's hosts last grew, is on
        // another's host still: only an http: link of it has something to say.
        const bool hostsKnown = index++ >= hostsGrewAt_;
        if (candidate.kind != Candidate::ExternalUrl || !hostsKnown || candidate.insecureLink)
            decide(candidate, targetOf(candidate), true);
    });
    candidates_.clear();
    candidateText_.clear();
    candidatePosts_.clear();
    // An image named only by its ID (its file on another host) is missed as much as a file.
    if (attachmentCount_ == 0 && (!mediaUsed_.isEmpty() || !attachmentIdsUsed_.isEmpty())) {
        AuditFinding finding;
        finding.check = QStringLiteral("no-attachments");
        finding.severity = AuditSeverity::Warning;
        const QString files = mediaUsed_.size() == 1
                                  ? QStringLiteral("use 1 media file")
                                  : QStringLiteral("use %1 media files").arg(mediaUsed_.size());
        const QString ids =
            attachmentIdsUsed_.size() == 1
                ? QStringLiteral("name 1 attachment by ID")
                : QStringLiteral("name %1 attachments by ID").arg(attachmentIdsUsed_.size());
        finding.detail = QStringLiteral("the export holds no attachments, yet its posts ") +
                         (attachmentIdsUsed_.isEmpty() ? files
                          : mediaUsed_.isEmpty()       ? ids
                                                       : files + QStringLiteral(" and ") + ids);
        emitFinding(finding);
    }
    summary_.hosts = hostCounts_.values();
    // A host that a later item showed to be the site's is one, whatever its first URLs said.
    for (AuditSummary::Host& host : summary_.hosts) {
        if (host.urlClass == UrlClass::External &&
            hosts_.isSite(QUrl(QStringLiteral("https://") + host.host)))
            host.urlClass = UrlClass::Site;
    }
    std::sort(summary_.hosts.begin(), summary_.hosts.end(), [](const auto& a, const auto& b) {
        return a.urls != b.urls ? a.urls > b.urls : a.host < b.host;
    });
}
