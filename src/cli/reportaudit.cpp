#include "reportaudit.h"

#include "analysis/celltext.h"

#include <array>

namespace {

enum InventoryColumn
{
    InventoryTitleColumn,
    InventoryPostIdColumn,
    InventoryTypeColumn,
    InventoryStatusColumn,
    InventoryElementColumn,
    InventoryAttributeColumn,
    InventoryUrlColumn,
    InventoryResolvedColumn,
    InventoryClassColumn,
    InventoryHostColumn,
    InventoryLineColumn,
    InventoryColumnColumn,
    InventoryColumnCount
};

QString numberOrEmpty(qint64 number)
{
    return number > 0 ? QString::number(number) : QString();
}

} // namespace

const TableDescription& inventoryTableDescription()
{
    static const TableDescription table = [] {
        TableDescription description;
        for (const char* header :
             {"Post Title", "Post ID", "Post Type", "Status", "Element", "Attribute", "URL",
              "Resolved", "Class", "Host", "Line", "Column"})
            description.columns.push_back({QString::fromLatin1(header)});
        description.columnLimit = InventoryColumnCount;
        description.bodyColumn = -1;
        return description;
    }();
    return table;
}

ReportAudit::ReportAudit(ReportSink& report, FaultFormat& format, const AuditSettings& settings,
                         SpooledTableStream* inventory)
    : report_(report), format_(format), settings_(settings), inventory_(inventory)
{}

ReportAudit::~ReportAudit() = default;

void ReportAudit::channel(const ExportChannel& channel)
{
    report_.channel(channel);
    SiteInfo site = siteInfoOf(channel);
    site.namedUrl = settings_.siteUrl;
    site.namedHosts = settings_.siteHosts;
    AuditSink& findings = *this;
    audit_ = std::make_unique<ExportAudit>(site, findings, settings_.skippedChecks);
}

void ReportAudit::addPost(const ExportItem& item, const PostReport& report)
{
    report_.addPost(item, report);
    if (!audit_)
        channel({});
    std::optional<BodyPlaces> places = report_.lastBodyPlaces(item);
    AuditItem audited = auditItemOf(item, places ? places->first() : ExportPosition());
    audited.places = places ? &*places : nullptr;
    audit_->addItem(audited, report.reading);
}

const AuditSummary& ReportAudit::finish()
{
    if (!audit_)
        channel({});
    audit_->finish();
    return audit_->summary();
}

QString ReportAudit::settledClass(QByteArrayView hostKey) const
{
    return audit_ ? urlClassName(audit_->classOfHost(QString::fromUtf8(hostKey))) : QString();
}

void ReportAudit::addFinding(const AuditFinding& finding)
{
    ++findings_;
    if (finding.severity == AuditSeverity::Error)
        ++errors_;
    format_.finding(finding);
}

void ReportAudit::addUrl(const AuditItem& item, const InventoryEntry& entry)
{
    if (inventory_ == nullptr)
        return;
    std::array<CellText, InventoryColumnCount> row{item.title,
                                                   item.postId,
                                                   item.postType,
                                                   item.status,
                                                   entry.element,
                                                   entry.attribute,
                                                   entry.url,
                                                   entry.resolved,
                                                   urlClassName(entry.urlClass),
                                                   entry.host,
                                                   numberOrEmpty(entry.exportLine),
                                                   numberOrEmpty(entry.exportColumn)};
    // A row on another's host waits: a later item may show the host to be the site's.
    if (entry.hostKey.isEmpty())
        inventory_->addRow(std::span<const CellText>(row));
    else
        inventory_->addRow(std::span<const CellText>(row), InventoryClassColumn,
                           entry.hostKey.toUtf8());
}
