// The least that an audit of every link adds to the report's check, as a peer for the report's
// audit benchmark. Three ways of the same run, its rows counted and dropped as `--quiet` drops
// them: the check alone; the check with the least reading that any audit of every post needs,
// whose events (every element, attribute and text of each body) reach a consumer that looks at
// nothing, and each faulty post read on to its end by the cheapest parser there is, a parse of
// the rest as XML; and the check with the audit's own scan beside it, its findings not recorded.
// Each way's wall and CPU time (all threads) is printed with its ratio to the check alone.
// Usage: audit-floor EXPORT.xml [ROUNDS]
//        audit-floor EXPORT.xml 1 check|least|scan   (one way alone, for a profiler)
#include "analysis/analysisrun.h"
#include "analysis/postcheck.h"
#include "audit/postscan.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

class CountingSink : public RowSink
{
public:
    void addPost(const ExportItem&, const PostReport& report) override
    {
        ++posts;
        faulty += report.errorCode != 0;
        links += qint64(report.links.size());
    }
    qint64 posts = 0;
    qint64 faulty = 0;
    qint64 links = 0;
};

// Takes every event and keeps only where the last one stood, as a parse stops at a fault.
class LeastEvents : public MarkupEvents
{
public:
    void startElement(QByteArrayView, std::span<const MarkupAttribute> attributes,
                      qint64 offset) override
    {
        seen += qint64(attributes.size());
        last = offset;
    }
    void endElement(QByteArrayView, qint64 offset) override { last = offset; }
    void text(QByteArrayView chunk) override { seen += chunk.size(); }
    void comment(QByteArrayView, qint64 offset) override { last = offset; }

    qint64 last = 0;
    qint64 seen = 0;
};

class LeastReading : public BodyReading
{
public:
    MarkupEvents* begin(const ExportItem& item) override
    {
        body_ = &item.bodyUtf8;
        events_.last = 0;
        return &events_;
    }
    std::any end(bool parsed) override
    {
        // From just after the last event before each fault to the body's end, the rest parsed
        // as XML again and again; a rest that faults at once is taken up at its next tag.
        qint64 at = parsed ? body_->size() : events_.last;
        while (at < body_->size()) {
            const QByteArray rest =
                QByteArray::fromRawData(body_->constData() + at, body_->size() - at);
            events_.last = -1;
            ShiftedEvents shifted(events_, at);
            if (rest_.check(rest, shifted).errorCode == 0)
                break;
            if (events_.last > at) {
                at = events_.last;
                continue;
            }
            const qsizetype next = body_->indexOf('<', at + 1);
            at = next < 0 ? body_->size() : next;
        }
        return {};
    }

private:
    const QByteArray* body_ = nullptr;
    LeastEvents events_;
    PostChecker rest_{QStringLiteral("rest")};
};

enum class Way
{
    Check,
    Least,
    Scan
};

struct Timed
{
    double wall = 0;
    double cpu = 0;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Timed run(const QString& path, Way way)
{
    AnalysisOptions options;
    if (way == Way::Least)
        options.bodyReadings = [] { return std::make_unique<LeastReading>(); };
    if (way == Way::Scan)
        options.bodyReadings = postScanReadings();
    CountingSink sink;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    loadExport(path, sink, options);
    return {double(timer.nsecsElapsed()) / 1e9, cpuSeconds() - cpuBefore};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: audit-floor EXPORT.xml [ROUNDS]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rounds = std::max(1, argc > 2 ? QByteArray(argv[2]).toInt() : 3);
    struct Named
    {
        Way way;
        const char* name;
        const char* label;
    };
    const Named ways[] = {{Way::Check, "check", "check alone"},
                          {Way::Least, "least", "check, least reading"},
                          {Way::Scan, "scan", "check, audit's scan"}};
    if (argc > 3) {
        const QByteArray only(argv[3]);
        const auto way = std::find_if(std::begin(ways), std::end(ways),
                                      [&](const Named& named) { return only == named.name; });
        if (way == std::end(ways)) {
            std::fprintf(stderr, "audit-floor: the one way is check, least or scan\n");
            return 2;
        }
        const Timed timed = run(path, way->way);
        std::printf("%s: %.2f s, cpu %.2f s\n", way->label, timed.wall, timed.cpu);
        return 0;
    }
    std::printf("%-5s %-22s %7s %7s %8s %8s\n", "round", "way", "wall s", "cpu s", "x wall",
                "x cpu");
    // Each way's ratios to the check alone of the same round: the machine's speed drifts from
    // minute to minute, and two runs one right after the other are touched by it least.
    std::vector<double> wallRatios[3];
    std::vector<double> cpuRatios[3];
    for (int round = 1; round <= rounds; ++round) {
        Timed check;
        for (const auto& [way, name, label] : ways) {
            const Timed timed = run(path, way);
            if (way == Way::Check)
                check = timed;
            wallRatios[int(way)].push_back(timed.wall / check.wall);
            cpuRatios[int(way)].push_back(timed.cpu / check.cpu);
            std::printf("%-5d %-22s %7.2f %7.2f %7.2fx %7.2fx\n", round, label, timed.wall,
                        timed.cpu, timed.wall / check.wall, timed.cpu / check.cpu);
            std::fflush(stdout);
        }
    }
    for (const auto& [way, name, label] : ways)
        std::printf("%-5s %-22s %7s %7s %7.2fx %7.2fx\n", "median", label, "", "",
                    median(wallRatios[int(way)]), median(cpuRatios[int(way)]));
    return 0;
}
