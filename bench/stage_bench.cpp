// Times the two stages of a check, each against plain libxml2 doing the least that stage needs,
// on one thread, in the same run: reading the export (our reader against libxml2's streaming
// reader handing on the body text) and checking the bodies (our check against a SAX parse of the
// wrapped body that builds nothing). What we add on top of libxml2 is then the ratio.
// Usage: stage-bench EXPORT.xml
#include "analysis/exportreader.h"
#include "analysis/postcheck.h"
#include "plainlibxml.h"

#include <QCoreApplication>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

template <typename Stage> double measure(Stage&& stage)
{
    const double start = threadSeconds();
    stage();
    return threadSeconds() - start;
}

int parseWithLibxml(const std::vector<QByteArray>& bodies)
{
    int faulty = 0;
    for (const QByteArray& body : bodies) {
        const QByteArray text = "<?xml version=\"1.0\"?><dummy>" + body + "</dummy>";
        faulty += plainlibxml::isWellFormed(text.constData(), int(text.size())) ? 0 : 1;
    }
    return faulty;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: stage-bench EXPORT.xml\n");
        return 2;
    }
    std::vector<QByteArray> bodies;
    qint64 peerBytes = 0;
    const double peerRead = measure([&] {
        plainlibxml::forEachBody(argv[1],
                                 [&](std::string&& body) { peerBytes += qint64(body.size()); });
    });
    const QString path = QString::fromLocal8Bit(argv[1]);
    const double ourRead = measure([&] { readExport(path, [](ExportItem&&) {}); });
    // The bodies, kept for the second stage, are read again outside the measurement: a reader
    // that keeps all it reads pays for the memory besides.
    readExport(path, [&](ExportItem&& item) { bodies.push_back(std::move(item.bodyUtf8)); });
    int peerFaulty = 0;
    const double peerCheck = measure([&] { peerFaulty = parseWithLibxml(bodies); });
    int ourFaulty = 0;
    const double ourCheck = measure([&] {
        PostChecker checker(QStringLiteral("dummy"));
        for (const QByteArray& body : bodies)
            ourFaulty += checker.check(body).errorCode != 0 ? 1 : 0;
    });
    std::printf("%zu items; CPU seconds on one thread\n", bodies.size());
    std::printf("%-8s %10s %10s %8s\n", "stage", "postlint", "libxml2", "ratio");
    std::printf("%-8s %10.2f %10.2f %7.2fx\n", "read", ourRead, peerRead, ourRead / peerRead);
    std::printf("%-8s %10.2f %10.2f %7.2fx   (%d and %d not well-formed)\n", "check", ourCheck,
                peerCheck, ourCheck / peerCheck, ourFaulty, peerFaulty);
    return 0;
}
