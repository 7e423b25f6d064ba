#include "runsummary.h"

#include "windowtexts.h"

#include <QFileInfo>
#include <QLocale>

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
    return QFileInfo(exportPath).fileName() + QStringLiteral(" — ") + counts +
           QStringLiteral(" — ") + WindowTexts::caption;
}
