#include "auditedtables.h"

AuditedTablesSink::AuditedTablesSink(ResultTables& tables, const SiteInfo& site)
    : rows_(tables), tables_(tables), site_(site)
{}

AuditedTablesSink::~AuditedTablesSink() = default;

void AuditedTablesSink::channel(const ExportChannel& channel)
{
    site_.channelLink = channel.link;
    site_.baseBlogUrl = channel.baseBlogUrl;
}

ExportAudit& AuditedTablesSink::audit()
{
    // The channel comes before the first item, so the audit starts knowing the site.
    if (!audit_)
        audit_ = std::make_unique<ExportAudit>(site_, static_cast<AuditSink&>(*this));
    return *audit_;
}

void AuditedTablesSink::addPost(const ExportItem& item, const PostReport& report)
{
    rows_.addPost(item, report);
    currentRow_ = tables_.errorRowCount;
    currentPostId_ = item.postId;
    if (!item.postId.isEmpty())
        rowOfPost_.insert(item.postId, currentRow_);
    AuditItem audited{item.title,
                      item.postId,
                      item.postType,
                      item.status,
                      item.postName,
                      item.permalink,
                      item.guid,
                      item.attachmentUrl,
                      item.thumbnailId,
                      item.bodyUtf8,
                      {}};
    audit().addItem(audited, report.reading);
    currentRow_ = 0;
}

void AuditedTablesSink::finish()
{
    audit().finish();
}

AuditSummary AuditedTablesSink::summary() const
{
    return audit_ ? audit_->summary() : AuditSummary();
}

void AuditedTablesSink::addFinding(const AuditFinding& finding)
{
    int row = 0;
    if (currentRow_ > 0 && finding.postId == currentPostId_)
        row = currentRow_;
    else if (!finding.postId.isEmpty())
        row = rowOfPost_.value(finding.postId);
    const CellText body =
        row > 0 ? tables_.errorTable.cellText(ErrorContentColumn, row) : CellText();
    tables_.appendFindingRow(findingRow(finding, body));
}

FindingRow findingRow(const AuditFinding& finding, const CellText& body)
{
    FindingRow row;
    row.cells[FindingTitleColumn] = finding.title;
    row.cells[FindingContentColumn] = body;
    row.cells[FindingCheckColumn] = finding.check;
    row.cells[FindingSeverityColumn] = severityName(finding.severity);
    row.cells[FindingSubjectColumn] = finding.subject;
    row.cells[FindingDetailColumn] = detailWithPlace(finding);
    // A finding of no place in the body shows no line rather than a 0.
    if (finding.bodyLine > 0) {
        row.cells[FindingLineColumn] = QString::number(finding.bodyLine);
        row.cells[FindingPosColumn] = QString::number(finding.bodyColumn);
    }
    row.numbers = {finding.bodyLine, finding.bodyColumn};
    return row;
}
