#pragma once

#include "analysis/rowsink.h"
#include "audit/exportaudit.h"

#include <QHash>

#include <memory>

// The window's keeper of a run: the error and link rows go into the tables as they come, and each
// item also goes to the audit, whose findings become rows of the findings table. A finding the
// audit decides only at the end of the export still shows its post's body, read back from the
// error row of that post.
class AuditedTablesSink : public RowSink, private AuditSink
{
public:
    // site names what the user said of the site's addresses; the export's own come with the run.
    AuditedTablesSink(ResultTables& tables, const SiteInfo& site);
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
    // The error row of each post ID seen, for the findings decided after their post.
    QHash<QString, int> rowOfPost_;
    int currentRow_ = 0;
    QString currentPostId_;
};

// The findings table's row for one finding; body is the post's, empty for a finding of the whole
// export.
FindingRow findingRow(const AuditFinding& finding, const CellText& body);
