// The checks that need the whole export: what a link, a file or an ID names may come further
// down, so each waits as a candidate that is settled as soon as its target is known.
#include "exportaudit.h"

#include "asciitext.h"
#include "sitepaths.h"

namespace {

// Attachments show the status "inherit": they are as public as the post that holds them.
bool isUnpublished(const QString& status)
{
    return status != QLatin1String("publish") && status != QLatin1String("inherit");
}

} // namespace

quint32 ExportAudit::nameIndex(const QString& name)
{
    const auto found = nameIndices_.constFind({name});
    if (found != nameIndices_.constEnd())
        return *found;
    names_.append(name);
    return nameIndices_[{name}] = quint32(names_.size() - 1);
}

quint32 ExportAudit::nameIndex(const PostScan& scan, quint32 index)
{
    quint32& found = postNameIndices_[index];
    if (found != unknownName)
        return found;
    // Posts name the same few elements and attributes: each is made text once for the export.
    const QByteArray& name = scan.names.at(index);
    const auto known =
        nameIndicesUtf8_.constFind({QByteArray::fromRawData(name.constData(), name.size())});
    if (known != nameIndicesUtf8_.constEnd())
        return found = *known;
    found = nameIndex(scan.nameOf(index));
    nameIndicesUtf8_.insert({QByteArray(name.constData(), name.size())}, found);
    return found;
}

void ExportAudit::checkTarget(const AuditItem& item, QByteArrayView written, const PreparedUrl& url,
                              UrlPlace place, const Where& where)
{
    const QString& file = url.mediaKey;
    const bool mediaPlace =
        place == UrlPlace::Media || (place == UrlPlace::Link && url.mediaExtension);
    if (!file.isEmpty() && mediaPlace) {
        mediaUsed_.insert({file});
        addCandidate(item, Candidate::Media, written, where, {file, {}});
        return;
    }
    if (place != UrlPlace::Link)
        return;
    const PostTarget target = postTargetOf(url.linkTarget, sitePath_);
    if (target.kind != PostTarget::None)
        addCandidate(item,
                     target.kind == PostTarget::ById ? Candidate::PostById : Candidate::PostByPath,
                     written, where, {target.key, target.lastSegment});
}

void ExportAudit::addCandidate(const AuditItem& item, Candidate::Kind kind, QByteArrayView text,
                               const Where& where, const Target& target, UrlPlace place,
                               bool insecureLink)
{
    if (!itemHasCandidatePost_) {
        candidatePosts_.push_back(
            {item.title, item.postId, baseIsOwn_ ? item.link : QString(), item.sinkTag});
        itemHasCandidatePost_ = true;
    }
    if (kind == Candidate::AttachmentId && attachmentCount_ == 0)
        attachmentIdsUsed_.insert({target.key});
    const qsizetype start = candidateText_.size();
    candidateText_.append(text);
    const qsizetype textLength = candidateText_.size() - start;
    if (kind != Candidate::AttachmentId && kind != Candidate::ReusableBlockId)
        appendUtf8(candidateText_, target.key);
    // Placed now, while the body's raw bytes are at hand.
    const auto [exportLine, exportColumn] = exportPlaceOf(item, where.line, where.column);
    const Candidate candidate{kind,
                              place,
                              insecureLink,
                              quint32(candidatePosts_.size() - 1),
                              where.element,
                              where.attribute,
                              where.line,
                              where.column,
                              exportLine,
                              exportColumn,
                              start,
                              textLength,
                              candidateText_.size() - start - textLength};
    if (decide(candidate, target, false)) {
        candidateText_.truncate(start);
        return;
    }
    candidates_.push_back(candidate);
}

QUrl ExportAudit::baseOf(const CandidatePost& post) const
{
    return post.baseLink.isEmpty() ? hosts_.currentAddress() : QUrl(post.baseLink);
}

QString ExportAudit::textOf(const Candidate& candidate) const
{
    return QString::fromUtf8(candidateText_.constData() + candidate.textStart,
                             candidate.textLength);
}

const ExportAudit::Target& ExportAudit::targetOf(const Candidate& candidate)
{
    // The export's end asks for the targets of all the candidates left, one after the other.
    Target& target = targetRoom_;
    const char* text = candidateText_.constData() + candidate.textStart;
    target.lastSegment.resize(0);
    if (candidate.kind == Candidate::AttachmentId || candidate.kind == Candidate::ReusableBlockId) {
        setFromUtf8(target.key, QByteArrayView(text, candidate.textLength));
        return target;
    }
    const QByteArrayView key(text + candidate.textLength, candidate.keyLength);
    setFromUtf8(target.key, key);
    // A path's key has no final "/": its last segment follows its last "/".
    if (candidate.kind == Candidate::PostByPath)
        setFromUtf8(target.lastSegment, key.sliced(key.lastIndexOf('/') + 1));
    return target;
}

AuditFinding ExportAudit::findingOf(const Candidate& candidate) const
{
    const CandidatePost& post = candidatePosts_[candidate.post];
    AuditFinding finding;
    finding.title = post.title;
    finding.postId = post.postId;
    finding.sinkTag = post.sinkTag;
    finding.bodyLine = candidate.line;
    finding.bodyColumn = candidate.column;
    finding.exportLine = candidate.exportLine;
    finding.exportColumn = candidate.exportColumn;
    const QString text = textOf(candidate);
    finding.subject = text.size() > 200 ? text.left(200) + QChar(0x2026) : text;
    finding.element = names_[candidate.element];
    finding.attribute = names_[candidate.attribute];
    return finding;
}

QString ExportAudit::missingItem(const Candidate& candidate, const Target& target,
                                 bool& settled) const
{
    const bool block = candidate.kind == Candidate::ReusableBlockId;
    const QLatin1String type(block ? "wp_block" : "attachment");
    const QString what = block ? QStringLiteral("reusable block") : QStringLiteral("attachment");
    const ItemInfo* found = byId_.find(target.key);
    if (found == nullptr)
        return QStringLiteral("no %1 of the export has the ID %2").arg(what, target.key);
    const QString& foundType = names_[found->type];
    if (foundType == type)
        return {};
    // IDs are unique: an item of another type settles it at once. The type is the export's own
    // word (post, page, nav_menu_item), which takes no article.
    settled = true;
    return QStringLiteral("the item of ID %1 is of type %2, not %3 %4")
        .arg(target.key, foundType, block ? QStringLiteral("a") : QStringLiteral("an"), what);
}

// Whether the candidate is settled: it is once what it names is known, and at the end.
bool ExportAudit::decide(const Candidate& candidate, const Target& target, bool atEnd)
{
    const auto unpublished = [&](const QString& status) {
        if (isUnpublished(status)) {
            AuditFinding finding = findingOf(candidate);
            finding.check = QStringLiteral("unpublished-post");
            finding.severity = AuditSeverity::Warning;
            // An item that gives no status is imported as a draft.
            finding.detail =
                status.isEmpty()
                    ? QStringLiteral("links to an item that gives no status")
                    : QStringLiteral("links to an item whose status is %1").arg(status);
            emitFinding(finding);
        }
        return true;
    };
    QString check = QStringLiteral("missing-post");
    AuditSeverity severity = AuditSeverity::Error;
    QString detail;
    switch (candidate.kind) {
    case Candidate::PostById:
        if (const ItemInfo* found = byId_.find(target.key))
            return unpublished(names_[found->status]);
        detail = QStringLiteral("no item of the export has the ID %1").arg(target.key);
        break;
    case Candidate::PostByPath:
        if (const auto found = statusByPath_.constFind({target.key});
            found != statusByPath_.constEnd())
            return unpublished(names_[*found]);
        if (const auto found = statusByName_.constFind({target.lastSegment});
            found != statusByName_.constEnd())
            return unpublished(names_[*found]);
        severity = AuditSeverity::Warning;
        detail = QStringLiteral("no item of the export has this path or name");
        break;
    case Candidate::Media:
        if (attachmentFiles_.contains({target.key}))
            return true;
        check = QStringLiteral("missing-media");
        detail = QStringLiteral("no attachment of the export holds this file");
        break;
    case Candidate::ExternalUrl:
        if (!atEnd)
            return false;
        // Only a host that a later item showed to be the site's changes how the URL is judged.
        if ((hosts_.classOfHost(target.key) != UrlClass::Site || !settleExternal(candidate)) &&
            candidate.insecureLink) {
            AuditFinding finding = findingOf(candidate);
            finding.check = QStringLiteral("insecure-link");
            finding.severity = AuditSeverity::Note;
            finding.detail = QStringLiteral("http: link");
            emitFinding(finding);
        }
        return true;
    case Candidate::AttachmentId:
    case Candidate::ReusableBlockId: {
        bool settled = atEnd;
        detail = missingItem(candidate, target, settled);
        if (detail.isEmpty())
            return true;
        check = QStringLiteral("missing-id");
        // Before the export's first attachment, an attachment's finding waits all the same:
        // whether it is listed or only counted depends on there being none at all.
        if (candidate.kind != Candidate::AttachmentId || attachmentCount_ > 0)
            atEnd = settled;
        break;
    }
    }
    if (!atEnd)
        return false;
    AuditFinding finding = findingOf(candidate);
    finding.check = check;
    finding.severity = severity;
    finding.detail = detail;
    // Without any attachment, each missing file or image ID only adds to the one finding that
    // says so.
    const bool counted = attachmentCount_ == 0 && (candidate.kind == Candidate::Media ||
                                                   candidate.kind == Candidate::AttachmentId);
    emitFinding(finding, !counted);
    return true;
}

// A URL that was on no host of the site when its post was read, judged again now that every
// item has shown its hosts: on one of the site's after all, it is judged as the site's own URLs
// are.
bool ExportAudit::settleExternal(const Candidate& candidate)
{
    const ClassifiedUrl url =
        classifyUrl(textOf(candidate), baseOf(candidatePosts_[candidate.post]), hosts_);
    if (url.urlClass != UrlClass::Site)
        return false;
    AuditFinding finding = findingOf(candidate);
    finding.check = QStringLiteral("site-host");
    finding.severity = AuditSeverity::Warning;
    finding.detail = QStringLiteral("the current host is %1").arg(hosts_.currentHost());
    emitFinding(finding);
    Candidate judged = candidate;
    const QString file = mediaKey(url.resolved);
    if (!file.isEmpty() &&
        (candidate.place == UrlPlace::Media ||
         (candidate.place == UrlPlace::Link && hasMediaExtension(url.resolved.path())))) {
        mediaUsed_.insert({file});
        judged.kind = Candidate::Media;
        decide(judged, {file, {}}, true);
        return true;
    }
    const PostTarget target = postTargetOf(url.resolved, sitePath_);
    if (candidate.place != UrlPlace::Link || target.kind == PostTarget::None)
        return true;
    judged.kind = target.kind == PostTarget::ById ? Candidate::PostById : Candidate::PostByPath;
    decide(judged, {target.key, target.lastSegment}, true);
    return true;
}
