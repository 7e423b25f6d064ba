#pragma once

#include "analysis/bodylocator.h"
#include "analysis/rowsink.h"
#include "audit/exportaudit.h"

#include <memory>
#include <optional>

// The window's keeper of a run: the error and link rows go into the tables as they come, and each
// item also goes to the audit, whose findings become rows of the findings table. Each item goes
// to the audit tagged with its error row, from which a finding decided only at the end of the
// export still reads its post's body.
class AuditedTablesSink : public RowSink, private AuditSink
{
public:
    // site names what the user said of the site's addresses; the export's own come with the run.
    // exportFile, when open, is the export read a second time for where each body starts, which
    // places the findings in the export as the report places them.
    AuditedTablesSink(ResultTables& tables, const SiteInfo& site, QIODevice* exportFile = nullptr);
    ~AuditedTablesSink() override;

    void channel(const ExportChannel& channel) override;
    void addPost(const ExportItem& item, const PostReport& report) override;
    // Decides what waited for the whole export; the summary is complete from then on.
    void finish();
    // Empty until the first item or the channel arrived.
    AuditSummary summary() const;

private:
    void addFinding(const AuditFinding& finding) override;
    ExportAudit& audit();

    TablesSink rows_;
    ResultTables& tables_;
    SiteInfo site_;
    std::unique_ptr<ExportAudit> audit_;
    std::optional<BodyStartReader> bodyStarts_;
};

// The findings table's row for one finding; body is the post's, empty for a finding of the whole
// export.
FindingRow findingRow(const AuditFinding& finding, const CellText& body);
