#include "report.h"

#include "reportsink.h"

#include "analysis/analysisrun.h"
#include "analysis/linkcolumns.h"
#include "analysis/nativepath.h"
#include "export/outputfile.h"
#include "export/outputpaths.h"
#include "export/tablestream.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

void print(FILE* stream, const QString& text)
{
    // Paths in messages come out as the bytes they were given as.
    const QByteArray bytes = toNativePath(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

QString outputProblem(const OutputFile& output)
{
    const QString name =
        output.isStandardOutput() ? QStringLiteral("standard output") : output.path();
    switch (output.status()) {
    case OutputFile::Fine:
        return {};
    case OutputFile::PermissionDenied:
        return QStringLiteral("postlint-report: cannot write to %1: permission denied\n").arg(name);
    case OutputFile::Failed:
        break;
    }
    return QStringLiteral("postlint-report: cannot write to %1: %2\n").arg(name, output.reason());
}

// The table outputs of one export, open for the whole run so that rows go out as they come.
struct TableOutputs
{
    std::optional<OutputFile> errorsFile;
    std::optional<OutputFile> linksFile;
    std::optional<OutputFile> urlsFile;
    std::optional<TableStream> errors;
    std::optional<SpooledTableStream> urls;
    std::optional<LinkTableStream> links;
    QString problems;
    // False once a table could not be spooled: no table is then put in place.
    bool spooled = true;

    explicit TableOutputs(const ReportOptions& options)
    {
        if (!options.errorsPath.isEmpty()) {
            errorsFile.emplace(options.errorsPath);
            if (errorsFile->open())
                errors.emplace(*errorsFile, errorTableDescription(), options.encoding);
        }
        if (!options.audit.urlsPath.isEmpty()) {
            urlsFile.emplace(options.audit.urlsPath);
            // URLs are written as they are, whatever the encoding of the tables.
            if (urlsFile->open()) {
                urls.emplace(inventoryTableDescription(), TextEncoding::Utf8);
                if (!urls->open(urlsFile->spoolFolder()))
                    noSpool(urls, options.audit.urlsPath);
            }
        }
        if (!options.linksPath.isEmpty()) {
            linksFile.emplace(options.linksPath);
            links.emplace(options.encoding);
            if (!links->open(linksFile->spoolFolder()))
                noSpool(links, options.linksPath);
        }
    }

    template <typename Stream> void noSpool(std::optional<Stream>& stream, const QString& path)
    {
        problems += QStringLiteral("postlint-report: cannot make a spool file for %1: %2\n")
                        .arg(path, stream->reason());
        stream.reset();
        spooled = false;
    }

    // Rows of an export that turned out unusable are dropped, as the window drops them.
    void dropRows()
    {
        if (errors)
            errors->restart();
        if (links)
            links->restart();
        if (urls)
            urls->restart();
    }

    // Puts the files in place; false when any output failed. No file is put in place before
    // every table is written, so that running out of memory or room for one table leaves the
    // user's files as they were. settleClass gives the inventory's rows that waited their class.
    bool finish(const SpooledTableStream::Settle& settleClass)
    {
        bool linksReadBack = true;
        if (linksFile && links && linksFile->open())
            linksReadBack = links->writeTo(*linksFile);
        const bool urlsSpooled = !urls || urls->writeTo(*urlsFile, settleClass);
        bool complete = linksReadBack && urlsSpooled && spooled;
        if (errorsFile)
            complete = errorsFile->finish() && complete;
        if (linksFile && links)
            complete = linksFile->finish() && complete;
        if (urlsFile)
            complete = urlsFile->finish() && complete;
        if (complete && errorsFile)
            errorsFile->commit();
        if (complete && linksFile && links)
            linksFile->commit();
        if (complete && urlsFile)
            urlsFile->commit();
        if (errorsFile)
            problems += outputProblem(*errorsFile);
        if (!linksReadBack)
            problems +=
                QStringLiteral("postlint-report: cannot read back the spooled links of %1\n")
                    .arg(linksFile->path());
        if (linksFile && links)
            problems += outputProblem(*linksFile);
        // The spool is the inventory's room on the way to its file.
        if (!urlsSpooled)
            problems += QStringLiteral("postlint-report: cannot write to %1: %2\n")
                            .arg(urlsFile->path(), urls->reason());
        else if (urlsFile)
            problems += outputProblem(*urlsFile);
        for (const std::optional<OutputFile>* file : {&errorsFile, &linksFile, &urlsFile}) {
            if (!complete && *file && (*file)->isStaged() && (*file)->status() == OutputFile::Fine)
                problems += QStringLiteral("postlint-report: %1 is left as it was: the tables "
                                           "are replaced together or not at all\n")
                                .arg((*file)->path());
        }
        return problems.isEmpty();
    }
};

AnalysisOptions analysisOptions(const ReportOptions& options, FILE* err, QElapsedTimer& timer)
{
    AnalysisOptions analysis;
    analysis.dummyTag = options.dummyTag;
    // The audit's scan of each post is made beside its check, on the checking threads.
    if (options.audit.enabled)
        analysis.bodyReadings = postScanReadings(!options.audit.urlsPath.isEmpty());
    if (options.showProgress) {
        analysis.progress = [err, &timer](qint64 recorded) {
            if (timer.elapsed() < 200)
                return;
            timer.restart();
            print(err, QStringLiteral("\rChecked %1 items").arg(recorded));
            std::fflush(err);
        };
    }
    return analysis;
}

// Opened a second time only to find fault positions in; a pipe cannot be read twice.
void openForPositions(QFile& exportFile, const QString& path)
{
    if (!identifyPath(path).regular)
        return;
    const int descriptor = ::open(toNativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0 &&
        !exportFile.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        ::close(descriptor);
}

void printNoItems(FILE* err, const QString& path, const AnalysisOutcome& outcome)
{
    print(err, noItemsMessage + QLatin1Char('\n'));
    if (!outcome.problem.reason.isEmpty()) {
        // Whatever it is, the fault that leaves no item cost every post.
        ExportFault problem = outcome.problem;
        problem.postsLost = true;
        print(err, exportFaultLine(path, problem));
    }
}

void printLeftOut(FILE* err, const ReportSink& sink)
{
    if (!sink.leftOutAttributes().isEmpty())
        print(err, QStringLiteral("postlint-report: the link table has no column left for these "
                                  "attributes, whose values were left out: %1\n")
                       .arg(leftOutSummary(sink.leftOutAttributes())));
}

int reportOne(const QString& path, const ReportOptions& options, FaultFormat& format, FILE* err)
{
    TableOutputs tables(options);
    QFile exportFile;
    // The inventory's rows have columns for the place of each URL, whatever the format shows.
    if (format.wantsPlaces() || tables.urls)
        openForPositions(exportFile, path);
    format.beginExport(path);
    ReportSink sink(format, exportFile, tables.errors ? &*tables.errors : nullptr,
                    tables.links ? &*tables.links : nullptr);
    ReportAudit audit(sink, format, options.audit, tables.urls ? &*tables.urls : nullptr);
    RowSink& rows = options.audit.enabled ? static_cast<RowSink&>(audit) : sink;

    QElapsedTimer sinceUpdate;
    sinceUpdate.start();
    const AnalysisOutcome outcome =
        loadExport(path, rows, analysisOptions(options, err, sinceUpdate));
    if (options.showProgress)
        print(err, QStringLiteral("\r\033[K"));

    ExportSummary summary{sink.items(), sink.notWellFormed(), sink.linkRows(), true, {}, 0};
    summary.exportFaults = outcome.faultCount;
    if (!outcome.foundItems) {
        printNoItems(err, path, outcome);
        // The faults and links of the items read before the file proved unusable have gone out
        // already: the counts say what was printed, so that they agree with it.
        summary = {sink.items(), sink.notWellFormed(),   sink.linkRows(),
                   false,        outcome.problem.reason, UsageOrNoItems};
        summary.audited = options.audit.enabled;
        summary.findings = audit.findings();
        if (outcome.unreadable) {
            // Nothing is known of the export: the tables of an earlier run stay as they were.
            format.endExport(summary);
            return summary.exitStatus;
        }
        tables.dropRows();
    }
    // Links to posts further down are decided once every item is in.
    const AuditSummary* auditSummary =
        options.audit.enabled && outcome.foundItems ? &audit.finish() : nullptr;
    format.exportFaults(outcome.faults);
    if (auditSummary != nullptr)
        format.auditSummary(*auditSummary);
    summary.audited = options.audit.enabled;
    summary.findings = audit.findings();
    if (const QString problem = format.problem(); !problem.isEmpty())
        tables.problems += QStringLiteral("postlint-report: %1\n").arg(problem);
    const bool written =
        tables.finish([&audit](QByteArrayView hostKey) { return audit.settledClass(hostKey); });
    print(err, tables.problems);
    printLeftOut(err, sink);
    if (!written)
        summary.exitStatus = OutputFailed;
    else if (outcome.foundItems)
        summary.exitStatus =
            summary.notWellFormed > 0 || !outcome.faults.isEmpty() || audit.errors() > 0
                ? SomeNotWellFormed
                : AllWellFormed;
    format.endExport(summary);
    return summary.exitStatus;
}

bool isStandardOutput(const QString& path)
{
    return path == QLatin1String("-") || standardStreamOf(path) == STDOUT_FILENO;
}

FileIdentity outputIdentity(const QString& path)
{
    return path == QLatin1String("-") ? identifyDescriptor(STDOUT_FILENO) : identifyPath(path);
}

// Why the outputs cannot be written as asked, before anything is read or written: one of them is
// an export being checked, or both tables would go to one file.
QString outputProblem(const ReportOptions& options, const QString& exportPath)
{
    QStringList optionNames;
    QStringList paths;
    QList<FileIdentity> outputs;
    for (const auto& [option, path] :
         {std::pair{QStringLiteral("--errors"), options.errorsPath},
          std::pair{QStringLiteral("--links"), options.linksPath},
          std::pair{QStringLiteral("--urls"), options.audit.urlsPath}}) {
        if (path.isEmpty())
            continue;
        optionNames.append(option);
        paths.append(path);
        outputs.append(outputIdentity(path));
    }
    const OutputClash clash = findOutputClash(identifyPath(exportPath), outputs);
    switch (clash.kind) {
    case OutputClash::None:
        return {};
    case OutputClash::OverwritesInput:
        return QStringLiteral("postlint-report: %1 %2 is the export being checked, %3; it is "
                              "only ever read\n")
            .arg(optionNames.at(clash.output), paths.at(clash.output), exportPath);
    case OutputClash::SharedFile:
        return QStringLiteral("postlint-report: %1 %2 and %3 %4 are one file; each table needs a "
                              "file of its own\n")
            .arg(optionNames.at(clash.earlierOutput), paths.at(clash.earlierOutput),
                 optionNames.at(clash.output), paths.at(clash.output));
    }
    return {};
}

// The run itself, once the options are known to be usable; throws when memory runs out.
int reportAll(const ReportOptions& options, FILE* out, FILE* err)
{
    FILE* lines = isStandardOutput(options.errorsPath) || isStandardOutput(options.linksPath) ||
                          isStandardOutput(options.audit.urlsPath)
                      ? err
                      : out;
    const std::unique_ptr<FaultFormat> format = makeFaultFormat(options.format, lines);
    int worst = AllWellFormed;
    for (const QString& path : options.exportPaths)
        worst = std::max(worst, reportOne(path, options, *format, err));
    format->endRun(worst);
    if (std::fflush(lines) != 0 || std::ferror(lines) != 0) {
        print(err, QStringLiteral("postlint-report: cannot write to standard %1: %2\n")
                       .arg(lines == err ? QStringLiteral("error") : QStringLiteral("output"),
                            QString::fromLocal8Bit(std::strerror(errno))));
        return OutputFailed;
    }
    return worst;
}

} // namespace

int runReport(const ReportOptions& options, FILE* out, FILE* err)
{
    for (const QString& path : options.exportPaths) {
        if (const QString problem = outputProblem(options, path); !problem.isEmpty()) {
            print(err, problem);
            return UsageOrNoItems;
        }
    }
    try {
        return reportAll(options, out, err);
    } catch (const std::bad_alloc&) {
        // Nothing is left to allocate with: the message is written as it stands.
        std::fputs("postlint-report: out of memory\n", err);
    } catch (const std::exception& failure) {
        std::fprintf(err, "postlint-report: %s\n", failure.what());
    }
    return OutputFailed;
}
