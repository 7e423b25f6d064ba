#pragma once

#include "faultformat.h"
#include "reportsink.h"

#include "audit/exportaudit.h"
#include "export/tablestream.h"

#include <QStringList>

#include <memory>

struct AuditSettings
{
    bool enabled = false;
    QString siteUrl;
    QStringList siteHosts;
    QStringList skippedChecks;
    QString urlsPath; // the URL inventory; empty: not written
};

// The columns of the URL inventory (`--urls`): one row per URL occurrence, no body column.
const TableDescription& inventoryTableDescription();

// Hands each checked post to the report's own sink and then to the audit, so that the audit
// sees every item, in file order, with the place of its body in the export that the report's
// sink has just found. Findings go to the format as they are made; URLs to the inventory.
class ReportAudit : public RowSink, private AuditSink
{
public:
    ReportAudit(ReportSink& report, FaultFormat& format, const AuditSettings& settings,
                SpooledTableStream* inventory);
    ~ReportAudit() override;

    void channel(const ExportChannel& channel) override;
    void addPost(const ExportItem& item, const PostReport& report) override;
    // Decides what waited for the whole export; the summary is complete from then on.
    const AuditSummary& finish();
    // The class of an inventory row that waited for the whole export, by the key it waited with.
    QString settledClass(QByteArrayView hostKey) const;

    qint64 findings() const { return findings_; }
    qint64 errors() const { return errors_; }

private:
    void addFinding(const AuditFinding& finding) override;
    void addUrl(const AuditItem& item, const InventoryEntry& entry) override;
    bool keepsUrls() const override { return inventory_ != nullptr; }

    ReportSink& report_;
    FaultFormat& format_;
    const AuditSettings& settings_;
    SpooledTableStream* inventory_;
    std::unique_ptr<ExportAudit> audit_;
    qint64 findings_ = 0;
    qint64 errors_ = 0;
};
