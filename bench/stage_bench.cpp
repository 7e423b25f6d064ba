// Times the two stages of a check, each against plain libxml2 doing the least that stage needs,
// on one thread, in the same run: reading the export (our reader against libxml2's streaming
// reader handing on the body text) and checking the bodies (our check against a SAX parse of the
// wrapped body that builds nothing). What we add on top of libxml2 is then the ratio.
// Usage: stage-bench EXPORT.xml
#include "analysis/exportreader.h"
#include "analysis/postcheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlreader.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

void ignoreError(void*, xmlErrorPtr) {}
void ignoreStart(void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int,
                 int, const xmlChar**)
{}
void ignoreEnd(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

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

qint64 readWithLibxml(const char* path)
{
    qint64 bodyBytes = 0;
    xmlTextReaderPtr reader = xmlReaderForFile(path, nullptr, XML_PARSE_HUGE);
    xmlTextReaderSetStructuredErrorHandler(reader, ignoreError, nullptr);
    bool inBody = false;
    while (xmlTextReaderRead(reader) == 1) {
        const int type = xmlTextReaderNodeType(reader);
        const auto* name = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
        const auto* uri = reinterpret_cast<const char*>(xmlTextReaderConstNamespaceUri(reader));
        const bool isBody = uri != nullptr && std::strcmp(name, "encoded") == 0 &&
                            std::strcmp(uri, "http://purl.org/rss/1.0/modules/content/") == 0;
        if (type == XML_READER_TYPE_ELEMENT && isBody) {
            inBody = true;
        } else if (type == XML_READER_TYPE_END_ELEMENT && isBody) {
            inBody = false;
        } else if (inBody && (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA)) {
            bodyBytes +=
                qint64(std::strlen(reinterpret_cast<const char*>(xmlTextReaderConstValue(reader))));
        }
    }
    xmlFreeTextReader(reader);
    return bodyBytes;
}

int parseWithLibxml(const std::vector<QByteArray>& bodies)
{
    int faulty = 0;
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.serror = ignoreError;
    // Elements go through libxml2's namespace-aware path, as ours do.
    handler.startElementNs = ignoreStart;
    handler.endElementNs = ignoreEnd;
    for (const QByteArray& body : bodies) {
        const QByteArray text = "<?xml version=\"1.0\"?><dummy>" + body + "</dummy>";
        xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(text.constData(), int(text.size()));
        std::memcpy(context->sax, &handler, sizeof handler);
        xmlCtxtUseOptions(context, XML_PARSE_HUGE);
        xmlParseDocument(context);
        faulty += context->wellFormed ? 0 : 1;
        xmlFreeParserCtxt(context);
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
    const double peerRead = measure([&] { readWithLibxml(argv[1]); });
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
