#include "analysisrun.h"

#include "postcheckpool.h"

#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// Thrown from the item callback to stop the reader; readExport holds everything it owns in RAII
// objects and calls back from its own loop, never from inside libxml2.
struct RunStopped
{};

// Big enough that handing a batch to a worker costs little next to checking it, small enough
// that the batches in flight stay a small part of the export.
constexpr size_t batchItemLimit = 256;
constexpr qint64 batchByteLimit = 512 * 1024;

// Thrown into the reader when the recording has failed or the run was cancelled, to end its
// reading early.
struct RunAbandoned
{};

void recordBatch(RowSink& sink, const PostBatch& batch)
{
    if (batch.failure)
        std::rethrow_exception(batch.failure);
    if (batch.channel)
        sink.channel(*batch.channel);
    for (size_t i = 0; i < batch.items.size(); ++i)
        sink.addPost(batch.items[i], batch.reports[i]);
}

// Starts body on a thread of its own; a thread that cannot be started (too many threads, or no
// memory for its stack) ends the run with that said.
template <typename Body> std::thread startThread(Body&& body)
{
    try {
        return std::thread(std::forward<Body>(body));
    } catch (const std::system_error& failure) {
        throw std::system_error(failure.code(), "cannot start a thread to read the export");
    }
}

// The reader's side of a run: the export's items, in batches, into the pool. Whatever stops the
// reading (out of memory, most likely) is kept in failure, to end the run once the batches already
// read have been taken; it must not end the thread, which would end the process.
void readIntoPool(const QString& path, PostCheckPool& pool, size_t maxPending,
                  const std::atomic<bool>& abandoned, ExportReadResult& read,
                  std::exception_ptr& failure) noexcept
{
    try {
        std::unique_ptr<PostBatch> batch;
        const auto flush = [&] {
            if (batch)
                pool.submit(std::move(batch), maxPending);
        };
        read = readExport(
            path,
            [&](ExportItem&& item) {
                if (abandoned)
                    throw RunAbandoned();
                if (!batch)
                    batch = std::make_unique<PostBatch>();
                batch->bodyBytes += item.bodyUtf8.size();
                batch->items.push_back(std::move(item));
                if (batch->items.size() >= batchItemLimit || batch->bodyBytes >= batchByteLimit)
                    flush();
            },
            [&](const ExportChannel& channel) {
                if (!batch)
                    batch = std::make_unique<PostBatch>();
                batch->channel = channel;
            });
        flush();
    } catch (...) {
        failure = std::current_exception();
    }
    pool.finishSubmitting();
}

// Reads the export on a thread of its own and hands batches of items to the checking pool,
// while the calling thread records the checked batches in file order: reading, checking and
// recording then overlap, and progress is still reported on the calling thread.
ExportReadResult readCheckAndRecord(const QString& path, RowSink& sink,
                                    const AnalysisOptions& options, int workerCount,
                                    qint64& recorded, bool& cancelled)
{
    PostCheckPool pool(workerCount, options.dummyTag, options.bodyReadings);
    const size_t maxPending = size_t(4 * workerCount);
    ExportReadResult read;
    std::exception_ptr readFailure;
    std::atomic<bool> abandoned = false;
    std::thread reader =
        startThread([&] { readIntoPool(path, pool, maxPending, abandoned, read, readFailure); });

    try {
        while (const std::unique_ptr<PostBatch> batch = pool.takeOldest()) {
            if (cancelled)
                continue; // dropped, so that a reader waiting for room can go on to its end
            recordBatch(sink, *batch);
            recorded += qint64(batch->items.size());
            if (options.progress)
                options.progress(recorded);
            if (options.cancelled && options.cancelled()) {
                cancelled = true;
                abandoned = true;
            }
        }
    } catch (...) {
        // The reader may be waiting for room: let it stop before the pool goes away.
        abandoned = true;
        while (pool.takeOldest()) {
        }
        reader.join();
        throw;
    }
    reader.join();
    // A cancelled run stopped its reader on purpose; what the reader kept is of no interest then.
    if (readFailure && !cancelled)
        std::rethrow_exception(readFailure);
    return read;
}

} // namespace

AnalysisOutcome loadExport(const QString& path, ResultTables& tables,
                           const AnalysisOptions& options)
{
    TablesSink sink(tables);
    const AnalysisOutcome outcome = loadExport(path, static_cast<RowSink&>(sink), options);
    if (!outcome.foundItems)
        tables.reset();
    return outcome;
}

AnalysisOutcome loadExport(const QString& path, RowSink& sink, const AnalysisOptions& options)
{
    const int workerCount =
        options.workerCount > 0 ? options.workerCount : std::max(1, QThread::idealThreadCount());

    ExportReadResult read;
    qint64 recorded = 0;
    bool cancelled = false;
    if (workerCount == 1) {
        PostChecker checker(options.dummyTag);
        const std::unique_ptr<BodyReading> reading =
            options.bodyReadings ? options.bodyReadings() : nullptr;
        try {
            read = readExport(
                path,
                [&](ExportItem&& item) {
                    if (options.cancelled && options.cancelled())
                        throw RunStopped();
                    sink.addPost(item, checker.check(item, reading.get()));
                    ++recorded;
                    if (options.progress && recorded % batchItemLimit == 0)
                        options.progress(recorded);
                },
                [&](const ExportChannel& channel) { sink.channel(channel); });
        } catch (const RunStopped&) {
            cancelled = true;
        }
        if (options.progress && recorded % batchItemLimit != 0)
            options.progress(recorded);
    } else {
        read = readCheckAndRecord(path, sink, options, workerCount, recorded, cancelled);
    }

    AnalysisOutcome outcome;
    if (cancelled) {
        outcome.cancelled = true;
        outcome.foundItems = recorded > 0;
        outcome.itemCount = recorded;
        return outcome;
    }
    outcome.foundItems = read.usable && read.itemCount > 0;
    outcome.itemCount = outcome.foundItems ? read.itemCount : 0;
    outcome.channel = read.channel;
    if (read.usable) {
        outcome.faults = std::move(read.faults);
        outcome.faultCount = read.faultCount;
    } else {
        outcome.problem = std::move(read.problem);
    }
    outcome.unreadable = !read.usable && read.unreadable;
    if (read.usable && read.itemCount == 0)
        outcome.problem.reason = QStringLiteral("The file holds no rss/channel/item element");
    return outcome;
}

AnalysisOutcome runAnalysis(const QString& path, ResultTables& tables,
                            const AnalysisOptions& options)
{
    tables.reset();
    return loadExport(path, tables, options);
}
