// The least that any checker of this kind does, as a peer for the report's benchmark: libxml2's
// streaming reader over the export, handing each `content:encoded` body to a second thread that
// parses it once more, wrapped, with a SAX handler that builds nothing. No limits, no positions,
// no links, no output. Usage: two-parse-floor EXPORT.xml
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlreader.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr char contentModuleUri[] = "http://purl.org/rss/1.0/modules/content/";
constexpr size_t batchSize = 64;
constexpr size_t batchesInFlight = 8;

void ignoreError(void*, xmlErrorPtr) {}
void ignoreStart(void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int,
                 int, const xmlChar**)
{}
void ignoreEnd(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

using Batch = std::vector<std::string>;

class BatchQueue
{
public:
    void push(Batch batch)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return batches_.size() < batchesInFlight; });
        batches_.push_back(std::move(batch));
        changed_.notify_all();
    }
    void finish()
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    bool pop(Batch& batch)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !batches_.empty() || finished_; });
        if (batches_.empty())
            return false;
        batch = std::move(batches_.front());
        batches_.pop_front();
        changed_.notify_all();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> batches_;
    bool finished_ = false;
};

long parseBodies(BatchQueue& queue)
{
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = ignoreStart;
    handler.endElementNs = ignoreEnd;
    handler.serror = ignoreError;
    long faulty = 0;
    Batch batch;
    while (queue.pop(batch)) {
        for (const std::string& text : batch) {
            xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(text.data(), int(text.size()));
            std::memcpy(context->sax, &handler, sizeof handler);
            xmlCtxtUseOptions(context, XML_PARSE_HUGE);
            xmlParseDocument(context);
            faulty += context->wellFormed ? 0 : 1;
            xmlFreeParserCtxt(context);
        }
    }
    return faulty;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: two-parse-floor EXPORT.xml\n");
        return 2;
    }
    xmlInitParser();
    BatchQueue queue;
    long faulty = 0;
    std::thread checker([&] { faulty = parseBodies(queue); });

    xmlTextReaderPtr reader = xmlReaderForFile(argv[1], nullptr, XML_PARSE_HUGE);
    if (reader == nullptr) {
        std::fprintf(stderr, "two-parse-floor: cannot read %s\n", argv[1]);
        return 2;
    }
    xmlTextReaderSetStructuredErrorHandler(reader, ignoreError, nullptr);
    Batch batch;
    std::string body;
    bool inBody = false;
    long items = 0;
    while (xmlTextReaderRead(reader) == 1) {
        const int type = xmlTextReaderNodeType(reader);
        const auto* name = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
        const auto* uri = reinterpret_cast<const char*>(xmlTextReaderConstNamespaceUri(reader));
        const bool isBody = uri != nullptr && std::strcmp(name, "encoded") == 0 &&
                            std::strcmp(uri, contentModuleUri) == 0;
        if (type == XML_READER_TYPE_ELEMENT && isBody) {
            inBody = true;
            body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><dummy>";
        } else if (type == XML_READER_TYPE_END_ELEMENT && isBody) {
            inBody = false;
            body += "</dummy>";
            batch.push_back(std::move(body));
            ++items;
            if (batch.size() == batchSize)
                queue.push(std::exchange(batch, {}));
        } else if (inBody && (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA)) {
            body += reinterpret_cast<const char*>(xmlTextReaderConstValue(reader));
        }
    }
    xmlFreeTextReader(reader);
    queue.push(std::move(batch));
    queue.finish();
    checker.join();
    std::printf("%ld bodies, %ld not well-formed\n", items, faulty);
    return 0;
}
