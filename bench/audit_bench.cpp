// Times the window's check of one export with and without the audit, in the same run, as the
// window makes it: every row into the result tables, and with the audit every finding too, placed
// in the export as the window places it. The audit is measured twice: each post scanned beside
// its check on the checking threads (as the window does it), and scanned on the recording thread
// after its check (the peer it replaced).
// Usage: audit-bench EXPORT.xml [ROUNDS]
//        audit-bench EXPORT.xml 1 tables|beside   (one way alone, for a profiler's count)
#include "analysis/analysisrun.h"
#include "audit/postscan.h"
#include "window/auditedtables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

enum class Mode
{
    Tables,
    AuditOnRecordingThread,
    AuditBesideCheck
};

// Wall seconds and the findings made.
std::pair<double, qsizetype> run(const QString& path, Mode mode)
{
    ResultTables tables;
    AnalysisOptions options;
    QElapsedTimer timer;
    timer.start();
    if (mode == Mode::Tables) {
        runAnalysis(path, tables, options);
        return {double(timer.nsecsElapsed()) / 1e9, 0};
    }
    if (mode == Mode::AuditBesideCheck)
        options.bodyReadings = postScanReadings();
    tables.reset();
    // The window reads the export a second time for the places of the findings.
    QFile exportFile(path);
    if (!exportFile.open(QIODevice::ReadOnly))
        std::fprintf(stderr, "audit-bench: cannot read the export a second time\n");
    AuditedTablesSink sink(tables, {}, &exportFile);
    loadExport(path, sink, options);
    sink.finish();
    // The findings table starts with its header row.
    return {double(timer.nsecsElapsed()) / 1e9, tables.findingTable.rowCount() - 1};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: audit-bench EXPORT.xml [ROUNDS]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    if (argc > 3) {
        const QByteArray only(argv[3]);
        if (only != "tables" && only != "beside") {
            std::fprintf(stderr, "audit-bench: the one way is tables or beside\n");
            return 2;
        }
        const auto [seconds, findings] =
            run(path, only == "tables" ? Mode::Tables : Mode::AuditBesideCheck);
        std::printf("%s: %.2f s, %lld findings\n", only.constData(), seconds,
                    static_cast<long long>(findings));
        return 0;
    }
    std::printf("%-5s %-34s %8s %9s %10s\n", "round", "window's check", "time s", "findings",
                "x tables");
    // Each series, for the median and the least: a neighbour on a shared machine slows single
    // rounds, and a round's own ratio, of two runs one right after the other, is the least
    // touched by a machine whose speed drifts from minute to minute.
    std::vector<double> tablesTimes;
    std::vector<double> besideTimes;
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        const double tables = run(path, Mode::Tables).first;
        tablesTimes.push_back(tables);
        std::printf("%-5d %-34s %8.2f %9s %9.2fx\n", round, "tables only", tables, "-", 1.0);
        for (const auto& [mode, label] :
             {std::pair{Mode::AuditOnRecordingThread, "audit, scan on the recording thread"},
              std::pair{Mode::AuditBesideCheck, "audit, scan beside the check"}}) {
            // The way the design left is shown once: it takes longest, and rounds of the two
            // ways compared are what the summary needs.
            if (mode == Mode::AuditOnRecordingThread && round > 1)
                continue;
            const auto [seconds, findings] = run(path, mode);
            if (mode == Mode::AuditBesideCheck) {
                besideTimes.push_back(seconds);
                ratios.push_back(seconds / tables);
            }
            std::printf("%-5d %-34.34s %8.2f %9lld %9.2fx\n", round, label, seconds,
                        static_cast<long long>(findings), seconds / tables);
        }
        std::fflush(stdout);
    }
    if (rounds > 0) {
        const auto median = [](std::vector<double> times) {
            std::sort(times.begin(), times.end());
            const size_t n = times.size();
            return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        };
        const auto least = [](const std::vector<double>& times) {
            return *std::min_element(times.begin(), times.end());
        };
        const double tablesMedian = median(tablesTimes);
        const double besideMedian = median(besideTimes);
        std::printf("%-6s %-33s %8.2f %9s %9.2fx\n", "median", "tables only", tablesMedian, "-",
                    1.0);
        std::printf("%-6s %-33s %8.2f %9s %9.2fx\n", "median", "audit, scan beside the check",
                    besideMedian, "", besideMedian / tablesMedian);
        std::printf("%-6s %-33s %8.2f %9s %9.2fx\n", "least", "tables only", least(tablesTimes),
                    "-", 1.0);
        std::printf("%-6s %-33s %8.2f %9s %9.2fx\n", "least", "audit, scan beside the check",
                    least(besideTimes), "", least(besideTimes) / least(tablesTimes));
        std::printf("%-6s %-33s %8s %9s %9.2fx\n", "median", "of the rounds' own ratios", "", "",
                    median(ratios));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of the whole run: %ld MB\n", usage.ru_maxrss / 1024);
    return 0;
}
