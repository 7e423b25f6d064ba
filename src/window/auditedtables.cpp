#include "auditedtables.h"

AuditedTablesSink::AuditedTablesSink(ResultTables& tables, const SiteInfo& site,
                                     QIODevice* exportFile)
    : rows_(tables), tables_(tables), site_(site)
{
    if (exportFile != nullptr && exportFile->isOpen())
        bodyStarts_.emplace(*exportFile);
}

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
    // Taken for every item, in file order, so that each item gets its own.
    std::optional<BodyPlaces> places;
    if (bodyStarts_)
        places.emplace(bodyStarts_->placesOf(bodyStarts_->next(), item.bodyUtf8));
    AuditItem audited = auditItemOf(item, places ? places->first() : ExportPosition());
    audited.places = places ? &*places : nullptr;
    audited.sinkTag = tables_.errorRowCount;
    audit().addItem(audited, report.reading);
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
    const int row = int(finding.sinkTag);
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
    // A finding of no known place in the export shows no line rather than a 0.
    if (finding.exportLine > 0) {
        row.cells[FindingLineColumn] = decimalText(finding.exportLine);
        row.cells[FindingColumnColumn] = decimalText(finding.exportColumn);
    }
    row.numbers = {finding.exportLine, finding.exportColumn, finding.bodyLine, finding.bodyColumn};
    return row;
}
