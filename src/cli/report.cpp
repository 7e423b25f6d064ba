#include "report.h"

#include "analysis/analysisrun.h"
#include "analysis/linkcollector.h"
#include "analysis/nativepath.h"
#include "export/outputpaths.h"
#include "export/tabdelimited.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <exception>
#include <thread>

#include <unistd.h>

namespace {

void print(FILE* stream, const QString& text)
{
    // Paths in messages come out as the bytes they were given as.
    const QByteArray bytes = toNativePath(text);
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

QString writeToStandardOutput(const TableExtent& extent, TextEncoding encoding)
{
    std::fflush(stdout);
    QFile standardOutput;
    const bool written = standardOutput.open(stdout, QIODevice::WriteOnly) &&
                         writeTabDelimited(standardOutput, extent, encoding) &&
                         standardOutput.flush();
    return written ? QString()
                   : QStringLiteral("postlint-report: cannot write to standard output: %1\n")
                         .arg(standardOutput.errorString());
}

QString problemOf(const QString& path, const ExportResult& result)
{
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

// One table on its way to where the options say: standard output is written at once, a file is
// written beside itself and put in place by commit().
struct TableOutput
{
    QString path;
    TableExtent extent;
    QString problem;
    std::unique_ptr<StagedExport> staged;
    TextEncoding encoding = TextEncoding::Latin1;

    void write()
    {
        if (path == QLatin1String("-"))
            problem = writeToStandardOutput(extent, encoding);
        else if (!path.isEmpty())
            staged = std::make_unique<StagedExport>(path, extent, encoding);
    }
    void commit()
    {
        if (staged)
            problem = problemOf(path, staged->commit());
    }
};

bool isStandardOutput(const QString& path)
{
    return path == QLatin1String("-") || standardStreamOf(path) == STDOUT_FILENO;
}

// Writes both tables, side by side when both go to files of their own: they only read the tables,
// and the error table's long source lines make its file the slower one to write. No file is put in
// place before both are written, so that running out of memory leaves the user's files as they
// were.
bool writeTables(const ReportOptions& options, const ResultTables& tables, FILE* err)
{
    TableOutput errors{options.errorsPath,
                       {tables.errorTable, ErrorColumnCount - 1, tables.errorRowCount},
                       {},
                       {},
                       options.encoding};
    TableOutput links{options.linksPath,
                      {tables.linkTable, tables.linkLastColumn, tables.linkRowCount},
                      {},
                      {},
                      options.encoding};
    const auto inPlace = [](const QString& path) {
        return path == QLatin1String("-") || writesInPlace(path);
    };
    if (errors.path.isEmpty() || links.path.isEmpty() || inPlace(errors.path) ||
        inPlace(links.path)) {
        errors.write();
        links.write();
    } else {
        std::exception_ptr linkFailure;
        std::thread linkWriter([&] {
            try {
                links.write();
            } catch (...) {
                linkFailure = std::current_exception();
            }
        });
        try {
            errors.write();
        } catch (...) {
            linkWriter.join();
            throw;
        }
        linkWriter.join();
        if (linkFailure)
            std::rethrow_exception(linkFailure);
    }
    errors.commit();
    links.commit();
    print(err, errors.problem + links.problem);
    return errors.problem.isEmpty() && links.problem.isEmpty();
}

FileIdentity outputIdentity(const QString& path)
{
    return path == QLatin1String("-") ? identifyDescriptor(STDOUT_FILENO) : identifyPath(path);
}

// Why the outputs cannot be written as asked, before anything is read or written: one of them is
// the export itself, or both tables would go to one file.
QString outputProblem(const ReportOptions& options)
{
    QStringList optionNames;
    QStringList paths;
    QList<FileIdentity> outputs;
    for (const auto& [option, path] : {std::pair{QStringLiteral("--errors"), options.errorsPath},
                                       std::pair{QStringLiteral("--links"), options.linksPath}}) {
        if (path.isEmpty())
            continue;
        optionNames.append(option);
        paths.append(path);
        outputs.append(outputIdentity(path));
    }
    const OutputClash clash = findOutputClash(identifyPath(options.exportPath), outputs);
    switch (clash.kind) {
    case OutputClash::None:
        return {};
    case OutputClash::OverwritesInput:
        return QStringLiteral("postlint-report: %1 %2 is the export being checked, %3; it is "
                              "only ever read\n")
            .arg(optionNames.at(clash.output), paths.at(clash.output), options.exportPath);
    case OutputClash::SharedFile:
        return QStringLiteral("postlint-report: %1 %2 and %3 %4 are one file; each table needs a "
                              "file of its own\n")
            .arg(optionNames.at(clash.earlierOutput), paths.at(clash.earlierOutput),
                 optionNames.at(clash.output), paths.at(clash.output));
    }
    return {};
}

// The run itself, once the options are known to be usable; throws when memory runs out.
int analyseAndWrite(const ReportOptions& options, ResultTables& tables, FILE* out, FILE* err)
{
    FILE* lines =
        isStandardOutput(options.errorsPath) || isStandardOutput(options.linksPath) ? err : out;

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
    if (!tables.leftOutAttributes.isEmpty())
        print(err, QStringLiteral("postlint-report: the link table has no column left for these "
                                  "attributes, whose values were left out: %1\n")
                       .arg(leftOutSummary(tables)));
    if (std::fflush(lines) != 0 || std::ferror(lines) != 0) {
        print(err, QStringLiteral("postlint-report: cannot write to standard %1: %2\n")
                       .arg(lines == err ? QStringLiteral("error") : QStringLiteral("output"),
                            QString::fromLocal8Bit(std::strerror(errno))));
        return OutputFailed;
    }

    if (!written)
        return OutputFailed;
    if (!outcome.foundItems)
        return UsageOrNoItems;
    return notWellFormed > 0 || !outcome.exportFaults.isEmpty() ? SomeNotWellFormed : AllWellFormed;
}

} // namespace

int runReport(const ReportOptions& options, ResultTables& tables, FILE* out, FILE* err)
{
    if (const QString problem = outputProblem(options); !problem.isEmpty()) {
        print(err, problem);
        return UsageOrNoItems;
    }
    try {
        return analyseAndWrite(options, tables, out, err);
    } catch (const std::bad_alloc&) {
        // Nothing is left to allocate with: the message is written as it stands.
        std::fputs("postlint-report: out of memory\n", err);
    } catch (const std::exception& failure) {
        std::fprintf(err, "postlint-report: %s\n", failure.what());
    }
    return OutputFailed;
}
