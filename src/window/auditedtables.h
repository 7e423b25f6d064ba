#pragma once

#include "analysis/bodylocator.h"
#include "analysis/rowsink.h"
#include "audit/exportaudit.h"

#include <QHash>

#include <memory>
#include <optional>

// The window's keeper of a run: the error and link rows go into the tables as they come, and each
// item also goes to the audit, whose findings become rows of the findings table. A finding the
// audit decides only at the end of the export still shows its post's body, read back from the
// error row of that post.
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
    // The error row of each post ID seen, for the findings decided after their post.
    QHash<HashedString, int> rowOfPost_;
    int currentRow_ = 0;
    QString currentPostId_;
};

// The findings table's row for one finding; body is the post's, empty for a finding of the whole
// export.
FindingRow findingRow(const AuditFinding& finding, const CellText& body);
