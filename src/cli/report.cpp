#include "report.h"

#include "analysis/analysisrun.h"
#include "export/tabdelimited.h"

#include <QElapsedTimer>
#include <QFile>

#include <thread>

namespace {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// Keeps one fault to one line of output, whatever line breaks a title or reason holds.
QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// `EXPORT:LINE:COLUMN: REASON (in "TITLE", post ID N)`, without what is not known.
QString faultLine(const QString& exportPath, const ExportFault& fault)
{
    QString line = exportPath + QLatin1Char(':');
    if (fault.line > 0)
        line += QStringLiteral("%1:%2:").arg(fault.line).arg(fault.column);
    line += QLatin1Char(' ') + oneLine(fault.reason);
    if (fault.inItem) {
        line += QStringLiteral(" (in \"%1\"").arg(oneLine(fault.itemTitle));
        if (!fault.postId.isEmpty())
            line += QStringLiteral(", post ID %1").arg(oneLine(fault.postId));
        line += QLatin1Char(')');
    }
    return line + QLatin1Char('\n');
}

// Writes one table where the options say; returns why it could not be written, or nothing.
QString writeTable(const QString& path, const TableExtent& extent, TextEncoding encoding)
{
    if (path.isEmpty())
        return {};
    if (path == QLatin1String("-")) {
        std::fflush(stdout);
        QFile standardOutput;
        const bool written = standardOutput.open(stdout, QIODevice::WriteOnly) &&
                             writeTabDelimited(standardOutput, extent, encoding) &&
                             standardOutput.flush();
        return written ? QString()
                       : QStringLiteral("postlint-report: cannot write to standard output: %1\n")
                             .arg(standardOutput.errorString());
    }
    const ExportResult result = exportTabDelimited(path, extent, encoding);
    switch (result.status) {
    case ExportResult::Written:
        return {};
    case ExportResult::PermissionDenied:
        return QStringLiteral("postlint-report: cannot write to %1: permission denied\n").arg(path);
    case ExportResult::Failed:
        return QStringLiteral("postlint-report: cannot write to %1: %2\n").arg(path, result.reason);
    }
    return QStringLiteral("postlint-report: cannot write to %1\n").arg(path);
}

// Writes both tables, side by side when both go to files: they only read the tables, and the
// error table's long source lines make its file the slower one to write.
bool writeTables(const ReportOptions& options, const ResultTables& tables, FILE* err)
{
    const TableExtent errors{tables.errorTable, ErrorColumnCount - 1, tables.errorRowCount};
    const TableExtent links{tables.linkTable, tables.linkLastColumn, tables.linkRowCount};
    const bool toStandardOutput =
        options.errorsPath == QLatin1String("-") || options.linksPath == QLatin1String("-");
    QString errorsProblem;
    QString linksProblem;
    if (toStandardOutput || options.errorsPath.isEmpty() || options.linksPath.isEmpty()) {
        errorsProblem = writeTable(options.errorsPath, errors, options.encoding);
        linksProblem = writeTable(options.linksPath, links, options.encoding);
    } else {
        std::thread linkWriter(
            [&] { linksProblem = writeTable(options.linksPath, links, options.encoding); });
        errorsProblem = writeTable(options.errorsPath, errors, options.encoding);
        linkWriter.join();
    }
    print(err, errorsProblem + linksProblem);
    return errorsProblem.isEmpty() && linksProblem.isEmpty();
}

} // namespace

int runReport(const ReportOptions& options, ResultTables& tables, FILE* out, FILE* err)
{
    FILE* lines =
        (options.errorsPath == QLatin1String("-") || options.linksPath == QLatin1String("-")) ? err
                                                                                              : out;

    AnalysisOptions analysis;
    analysis.dummyTag = options.dummyTag;
    QElapsedTimer sinceUpdate;
    sinceUpdate.start();
    if (options.showProgress) {
        analysis.progress = [&](qint64 recorded) {
            if (sinceUpdate.elapsed() < 200)
                return;
            sinceUpdate.restart();
            print(err, QStringLiteral("\rChecked %1 items").arg(recorded));
            std::fflush(err);
        };
    }

    const AnalysisOutcome outcome = runAnalysis(options.exportPath, tables, analysis);
    if (options.showProgress)
        print(err, QStringLiteral("\r\033[K"));
    if (!outcome.foundItems) {
        print(err, noItemsMessage + QLatin1Char('\n'));
        if (!outcome.problem.reason.isEmpty())
            print(err, faultLine(options.exportPath, outcome.problem));
    }
    if (!options.quiet) {
        for (const ExportFault& fault : outcome.exportFaults)
            print(lines, faultLine(options.exportPath, fault));
    }

    const bool written = writeTables(options, tables, err);

    int notWellFormed = 0;
    for (int row = 1; row <= tables.errorRowCount; ++row) {
        if (tables.errorTable.cell(ErrorCodeColumn, row) == QLatin1String("0"))
            continue;
        ++notWellFormed;
        if (!options.quiet) {
            const ResultTable& table = tables.errorTable;
            print(lines, QStringLiteral("%1: %2:%3: %4\n")
                             .arg(oneLine(table.cell(ErrorTitleColumn, row)),
                                  table.cell(ErrorLineColumn, row), table.cell(ErrorPosColumn, row),
                                  oneLine(table.cell(ErrorReasonColumn, row))));
        }
    }
    QString summary = QStringLiteral("%1 items, %2 not well-formed, %3 link rows")
                          .arg(tables.errorRowCount)
                          .arg(notWellFormed)
                          .arg(tables.linkRowCount);
    if (!outcome.exportFaults.isEmpty())
        summary += QStringLiteral(", %1 export faults").arg(outcome.exportFaults.size());
    print(lines, summary + QLatin1Char('\n'));
    std::fflush(lines);

    if (!written)
        return OutputFailed;
    if (!outcome.foundItems)
        return UsageOrNoItems;
    return notWellFormed > 0 || !outcome.exportFaults.isEmpty() ? SomeNotWellFormed : AllWellFormed;
}
