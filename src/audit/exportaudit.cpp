#include "exportaudit.h"

#include "sitepaths.h"

#include <algorithm>

namespace {

// Attachments show the status "inherit": they are as public as the post that holds them.
bool isUnpublished(const QString& status)
{
    return status != QLatin1String("publish") && status != QLatin1String("inherit");
}

bool isLoaded(UrlPlace place)
{
    return place == UrlPlace::Media || place == UrlPlace::Loaded;
}

// Lines of the body are lines of the export from where the body starts (an export escapes
// markup, never line ends); columns match those of the export on the body's first line and
// wherever the body is held verbatim, as in CDATA.
void placeInExport(const AuditItem& item, AuditFinding& finding)
{
    if (!item.bodyStart.isKnown() || finding.bodyLine <= 0)
        return;
    finding.exportLine = item.bodyStart.line + finding.bodyLine - 1;
    finding.exportColumn =
        finding.bodyLine == 1 ? item.bodyStart.column + finding.bodyColumn - 1 : finding.bodyColumn;
}

} // namespace

ExportAudit::ExportAudit(const SiteInfo& site, AuditSink& sink, const QStringList& skippedChecks)
    : hosts_(site), sitePath_(hosts_.currentAddress().path()), sink_(sink),
      skipped_(skippedChecks.begin(), skippedChecks.end())
{}

ExportAudit::~ExportAudit() = default;

void ExportAudit::addItem(const AuditItem& item)
{
    if (!reader_)
        reader_ = std::make_unique<HtmlPostReader>();
    addItem(item, reader_->scan(item.bodyUtf8));
}

AuditFinding ExportAudit::findingFor(const AuditItem& item, const char* check,
                                     AuditSeverity severity, qint64 line, qint64 column) const
{
    AuditFinding finding;
    finding.check = QString::fromLatin1(check);
    finding.severity = severity;
    finding.title = item.title;
    finding.postId = item.postId;
    finding.bodyLine = line;
    finding.bodyColumn = column;
    placeInExport(item, finding);
    return finding;
}

void ExportAudit::recordItem(const AuditItem& item)
{
    hosts_.addItem(item);
    if (!item.postId.isEmpty() && !byId_.contains(item.postId))
        byId_.insert(item.postId, {item.postType, item.status});
    const QString path = postPathKey(QUrl(item.link));
    if (!path.isEmpty() && !statusByPath_.contains(path))
        statusByPath_.insert(path, item.status);
    if (!item.postName.isEmpty() && !statusByName_.contains(item.postName))
        statusByName_.insert(item.postName, item.status);
    if (item.postType == QLatin1String("attachment")) {
        ++attachmentCount_;
        const QString file = mediaKey(QUrl(item.attachmentUrl));
        if (!file.isEmpty())
            attachmentFiles_.insert(file);
    }
}

void ExportAudit::addItem(const AuditItem& item, const PostScan& scan)
{
    recordItem(item);
    const QUrl link(item.link);
    const QUrl base = link.isValid() && !link.isRelative() ? link : hosts_.currentAddress();
    std::vector<AuditFinding> findings = scan.findings;
    for (AuditFinding& finding : findings) {
        finding.title = item.title;
        finding.postId = item.postId;
    }
    for (const ScannedUrl& url : scan.urls)
        auditUrl(item, scan, url, base, findings);
    for (const IdReference& id : scan.ids) {
        Candidate candidate;
        candidate.kind = id.kind == IdReference::Attachment ? Candidate::AttachmentId
                                                            : Candidate::ReusableBlockId;
        candidate.key = id.id;
        candidate.finding =
            findingFor(item, "missing-id", AuditSeverity::Error, id.line, id.column);
        candidate.finding.subject = id.id;
        candidate.finding.element = id.element;
        candidate.finding.attribute = id.attribute;
        addCandidate(std::move(candidate));
    }
    bool isNumber = false;
    if (item.thumbnailId.trimmed().toLongLong(&isNumber) > 0 && isNumber) {
        Candidate candidate;
        candidate.kind = Candidate::AttachmentId;
        candidate.key = QString::number(item.thumbnailId.trimmed().toLongLong());
        // The post meta has no place in the body; the body's start is the nearest known.
        candidate.finding = findingFor(item, "missing-id", AuditSeverity::Error, 1, 1);
        candidate.finding.subject = candidate.key;
        candidate.finding.element = QStringLiteral("wp:postmeta");
        candidate.finding.attribute = QStringLiteral("_thumbnail_id");
        addCandidate(std::move(candidate));
    }
    std::stable_sort(findings.begin(), findings.end(), [](const auto& a, const auto& b) {
        return std::pair(a.bodyLine, a.bodyColumn) < std::pair(b.bodyLine, b.bodyColumn);
    });
    for (AuditFinding& finding : findings) {
        placeInExport(item, finding);
        emitFinding(finding);
    }
    for (auto it = scan.shortcodes.begin(); it != scan.shortcodes.end(); ++it)
        summary_.shortcodes[it.key()] += it.value();
    for (auto it = scan.blocks.begin(); it != scan.blocks.end(); ++it)
        summary_.blocks[it.key()] += it.value();
}

void ExportAudit::auditUrl(const AuditItem& item, const PostScan& scan, const ScannedUrl& url,
                           const QUrl& base, std::vector<AuditFinding>& findings)
{
    const QString written = scan.urlOf(url);
    const ClassifiedUrl classified = classifyUrl(written, base, hosts_);
    InventoryEntry entry{scan.nameOf(url.element),
                         scan.nameOf(url.attribute),
                         written,
                         classified.resolved.toString(),
                         classified.urlClass,
                         classified.resolved.host(),
                         url.line};
    AuditFinding placed = findingFor(item, "", AuditSeverity::Warning, url.line, url.column);
    entry.exportLine = placed.exportLine;
    entry.exportColumn = placed.exportColumn;
    sink_.addUrl(item, entry);
    const bool loaded = isLoaded(url.place);
    if (!entry.host.isEmpty()) {
        AuditSummary::Host& host = hostCounts_[entry.host];
        host.host = entry.host;
        host.urlClass = classified.urlClass;
        ++host.urls;
        host.loaded += loaded;
        host.insecure += classified.insecure;
    }
    const auto add = [&](const char* check, AuditSeverity severity, const QString& detail) {
        AuditFinding finding = placed;
        finding.check = QString::fromLatin1(check);
        finding.severity = severity;
        finding.subject = written.size() > 200 ? written.left(200) + QChar(0x2026) : written;
        finding.element = entry.element;
        finding.attribute = entry.attribute;
        finding.detail = detail;
        findings.push_back(std::move(finding));
    };
    const UrlClass urlClass = classified.urlClass;
    if (urlClass == UrlClass::Data && url.textLength > 100000)
        add("data-uri", AuditSeverity::Warning,
            QStringLiteral("data: URI of %1 bytes").arg(url.textLength));
    if (urlClass == UrlClass::Javascript)
        add("script-url", AuditSeverity::Warning, QStringLiteral("javascript: URL"));
    if (urlClass == UrlClass::Site)
        add("site-host", AuditSeverity::Warning,
            QStringLiteral("the current host is %1").arg(hosts_.currentHost()));
    if (classified.insecure && loaded)
        add("insecure-resource", AuditSeverity::Warning,
            QStringLiteral("http: %1 loaded by the page").arg(entry.element));
    if (classified.insecure && url.place == UrlPlace::Link && urlClass == UrlClass::External)
        add("insecure-link", AuditSeverity::Note, QStringLiteral("http: link"));
    if (urlClass != UrlClass::Current && urlClass != UrlClass::Site)
        return;
    const QString file = mediaKey(classified.resolved);
    const bool mediaPlace =
        url.place == UrlPlace::Media ||
        (url.place == UrlPlace::Link && hasMediaExtension(classified.resolved.path()));
    if (!file.isEmpty() && mediaPlace) {
        mediaUsed_.insert(file);
        Candidate candidate{Candidate::Media, file, {}, placed};
        add("missing-media", AuditSeverity::Error,
            QStringLiteral("no attachment of the export holds this file"));
        candidate.finding = findings.back();
        findings.pop_back();
        addCandidate(std::move(candidate));
        return;
    }
    if (url.place != UrlPlace::Link)
        return;
    const PostTarget target = postTargetOf(classified.resolved, sitePath_);
    if (target.kind == PostTarget::None)
        return;
    add("missing-post", AuditSeverity::Error, QString());
    Candidate candidate{target.kind == PostTarget::ById ? Candidate::PostById
                                                        : Candidate::PostByPath,
                        target.key, target.lastSegment, findings.back()};
    findings.pop_back();
    addCandidate(std::move(candidate));
}

void ExportAudit::addCandidate(Candidate candidate)
{
    if (!decide(candidate, false))
        candidates_.push_back(std::move(candidate));
}

// Whether the candidate is settled: it is once what it names is known, and at the end.
bool ExportAudit::decide(const Candidate& candidate, bool atEnd)
{
    AuditFinding finding = candidate.finding;
    const auto unpublished = [&](const QString& status) {
        if (isUnpublished(status)) {
            finding.check = QStringLiteral("unpublished-post");
            finding.severity = AuditSeverity::Warning;
            finding.detail = QStringLiteral("links to an item whose status is %1").arg(status);
            emitFinding(finding);
        }
        return true;
    };
    switch (candidate.kind) {
    case Candidate::PostById:
        if (byId_.contains(candidate.key))
            return unpublished(byId_.value(candidate.key).status);
        finding.detail = QStringLiteral("no item of the export has the ID %1").arg(candidate.key);
        break;
    case Candidate::PostByPath:
        if (statusByPath_.contains(candidate.key))
            return unpublished(statusByPath_.value(candidate.key));
        if (statusByName_.contains(candidate.lastSegment))
            return unpublished(statusByName_.value(candidate.lastSegment));
        finding.severity = AuditSeverity::Warning;
        finding.detail = QStringLiteral("no item of the export has this path or name");
        break;
    case Candidate::Media:
        if (attachmentFiles_.contains(candidate.key))
            return true;
        break;
    case Candidate::AttachmentId:
    case Candidate::ReusableBlockId: {
        const bool block = candidate.kind == Candidate::ReusableBlockId;
        const QLatin1String type(block ? "wp_block" : "attachment");
        const QString what =
            block ? QStringLiteral("reusable block") : QStringLiteral("attachment");
        const auto found = byId_.constFind(candidate.key);
        if (found != byId_.constEnd() && found->type == type)
            return true;
        // IDs are unique: an item of another type settles it at once.
        if (found != byId_.constEnd()) {
            finding.detail = QStringLiteral("the item of ID %1 is a %2, not a %3")
                                 .arg(candidate.key, found->type, what);
            atEnd = true;
        } else {
            finding.detail =
                QStringLiteral("no %1 of the export has the ID %2").arg(what, candidate.key);
        }
        break;
    }
    }
    if (!atEnd)
        return false;
    // Without any attachment, each missing file or image ID only adds to the one finding that
    // says so.
    const bool counted = attachmentCount_ == 0 && (candidate.kind == Candidate::Media ||
                                                   candidate.kind == Candidate::AttachmentId);
    emitFinding(finding, !counted);
    return true;
}

void ExportAudit::emitFinding(const AuditFinding& finding, bool listed)
{
    if (skipped_.contains(finding.check))
        return;
    ++summary_.checks[finding.check][int(finding.severity)];
    if (listed)
        sink_.addFinding(finding);
}

void ExportAudit::finish()
{
    for (const Candidate& candidate : candidates_)
        decide(candidate, true);
    candidates_.clear();
    if (attachmentCount_ == 0 && !mediaUsed_.isEmpty()) {
        AuditFinding finding;
        finding.check = QStringLiteral("no-attachments");
        finding.severity = AuditSeverity::Warning;
        finding.detail = QStringLiteral("the export holds no attachments, yet its posts use %1 "
                                        "media files")
                             .arg(mediaUsed_.size());
        emitFinding(finding);
    }
    summary_.hosts = hostCounts_.values();
    std::sort(summary_.hosts.begin(), summary_.hosts.end(), [](const auto& a, const auto& b) {
        return a.urls != b.urls ? a.urls > b.urls : a.host < b.host;
    });
}
