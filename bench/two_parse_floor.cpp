// The least that any checker of this kind does, as a peer for the report's benchmark: libxml2's
// streaming reader over the export, handing each `content:encoded` body to a second thread that
// parses it once more, wrapped, with a SAX handler that builds nothing. No limits, no positions,
// no links, no output. Usage: two-parse-floor EXPORT.xml
#include "plainlibxml.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr char wrapperStart[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><dummy>";
constexpr size_t batchSize = 64;
constexpr size_t batchesInFlight = 8;

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
    long faulty = 0;
    Batch batch;
    while (queue.pop(batch)) {
        for (const std::string& text : batch)
            faulty += plainlibxml::isWellFormed(text.data(), int(text.size())) ? 0 : 1;
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

    Batch batch;
    long items = 0;
    const bool read = plainlibxml::forEachBody(argv[1], [&](std::string&& body) {
        batch.push_back(wrapperStart + body + "</dummy>");
        ++items;
        if (batch.size() == batchSize)
            queue.push(std::exchange(batch, {}));
    });
    queue.push(std::move(batch));
    queue.finish();
    checker.join();
    if (!read) {
        std::fprintf(stderr, "two-parse-floor: cannot read %s\n", argv[1]);
        return 2;
    }
    std::printf("%ld bodies, %ld not well-formed\n", items, faulty);
    return 0;
}
