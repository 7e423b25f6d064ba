#include "runsummary.h"

#include "windowtexts.h"

#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>

RunSummary RunSummary::of(const ResultTables& tables)
{
    RunSummary summary;
    summary.posts = tables.errorRowCount;
    summary.links = tables.linkRowCount;
    summary.findings = tables.findingRowCount;
    for (int row = 1; row <= tables.errorRowCount; ++row) {
        if (tables.errorTable.number(ErrorCodeNumber, row) != 0)
            ++summary.notWellFormed;
    }
    return summary;
}

namespace {

// The reader says why a file would not open in the system's words, which for a missing file ("No
// such file or directory") leave the user guessing whether the file was there at all.
bool fileMissing(const AnalysisOutcome& outcome)
{
    return outcome.unreadable &&
           outcome.problem.reason == QString::fromLocal8Bit(std::strerror(ENOENT));
}

} // namespace

ExportFault noItemsProblem(const QString& exportPath, const AnalysisOutcome& outcome)
{
    ExportFault problem = outcome.problem;
    if (fileMissing(outcome))
        problem.reason = exportPath + QStringLiteral(": ") + fileNotFound;
    return problem;
}

QString noItemsInTitle(const AnalysisOutcome& outcome)
{
    if (fileMissing(outcome))
        return fileNotFound;
    if (outcome.unreadable)
        return QStringLiteral("not read: ") + outcome.problem.reason;
    const QString noItems = QStringLiteral("no WordPress items");
    if (outcome.problem.reason.isEmpty())
        return noItems;
    return noItems + QStringLiteral(": ") + WindowTexts::exportFault(outcome.problem);
}

namespace {

QString counted(qint64 count, const char* one, const char* many)
{
    return QLocale().toString(count) + u' ' + QLatin1String(count == 1 ? one : many);
}

} // namespace

QString windowTitleAfterRun(const QString& exportPath, const RunSummary& summary)
{
    const QString posts = counted(summary.posts, "post", "posts");
    QString counts = summary.cancelled ? QStringLiteral("check cancelled after %1: ").arg(posts)
                                       : posts + QStringLiteral(", ");
    counts += QLocale().toString(summary.notWellFormed) + QStringLiteral(" not well-formed, ") +
              counted(summary.links, "link", "links") + QStringLiteral(", ") +
              counted(summary.findings, "finding", "findings");
    if (summary.exportFaults > 0)
        counts += QStringLiteral(", ") +
                  counted(summary.exportFaults, "fault in the export", "faults in the export");
    const QString problem =
        summary.problem.isEmpty() ? QString() : summary.problem + QStringLiteral(" — ");
    return QFileInfo(exportPath).fileName() + QStringLiteral(" — ") + problem + counts +
           QStringLiteral(" — ") + WindowTexts::caption;
}
