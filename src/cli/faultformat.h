#pragma once

#include "analysis/exportposition.h"
#include "analysis/exportreader.h"
#include "analysis/foundlink.h"
#include "audit/auditfinding.h"

#include <QString>

#include <cstdio>
#include <memory>
#include <vector>

// One post that is not well-formed, as the report's formats show it.
struct PostFault
{
    QString title;
    QString postId;
    QString permalink;
    int errorCode = 0;
    QString reason;
    int line = 0; // in the wrapped body, as the error table's Line
    int pos = 0;  // as the error table's Pos
    ExportPosition inExport;
    QString source;
    QString narrowed;
};

// What one export came to, once it has been read.
struct ExportSummary
{
    qint64 items = 0;
    qint64 notWellFormed = 0;
    qint64 linkRows = 0;
    bool usable = true;
    QString problem;
    int exitStatus = 0;
    qint64 exportFaults = 0;
    bool audited = false;
    qint64 findings = 0;
};

struct AuditSummary;

// Keeps a text the report prints to its line: every line break and other control character
// (an export's own text could otherwise forge fault lines or move a terminal's cursor) becomes a
// space, as in the table files; an embedding, override or isolate that the text leaves open is
// closed at its end.
QString oneLine(QString text);

// `EXPORT:LINE:COLUMN: SEVERITY: REASON (in "TITLE", post ID N)`, the item left out where it is
// not known, line and column 0 where the place is not; with its LF.
QString exportFaultLine(const QString& exportPath, const ExportFault& fault);

// "error" for a fault that cost posts, "warning" for one that is only noted.
QString exportFaultSeverity(const ExportFault& fault);

// How the report shows its findings on standard output: one writer per run, told about each
// export in turn and each finding as it is made, so nothing is kept that could grow with an
// export.
class FaultFormat
{
public:
    virtual ~FaultFormat() = default;
    virtual void beginExport(const QString& path) = 0;
    virtual void postFault(const PostFault& fault) = 0;
    virtual void links(const QString& /*title*/, const QString& /*postId*/,
                       const std::vector<FoundLink>& /*links*/)
    {}
    virtual void exportFaults(const QList<ExportFault>& faults) = 0;
    // With the audit: each finding as it is made, then, after exportFaults(), the summary.
    virtual void finding(const AuditFinding& /*finding*/) {}
    virtual void auditSummary(const AuditSummary& /*summary*/) {}
    virtual void endExport(const ExportSummary& summary) = 0;
    // exitStatus: the run's, the worst of its exports'.
    virtual void endRun(int exitStatus) = 0;
    // Whether links() wants the link rows.
    virtual bool wantsLinks() const { return false; }
    // Whether the faults and findings given must carry their place in the export.
    virtual bool wantsPlaces() const { return true; }
    // Why the format could not show all it was given, once it could not; the run then fails.
    virtual QString problem() const { return {}; }
};

enum class FormatKind
{
    Text,
    Json,
    Sarif
};

struct FormatSettings
{
    FormatKind kind = FormatKind::Text;
    bool quiet = false;
    bool withLinks = false;
    bool severalExports = false;
    bool audit = false;
    QString version;
};

std::unique_ptr<FaultFormat> makeFaultFormat(const FormatSettings& settings, FILE* out);
