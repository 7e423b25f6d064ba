#include "analysisrun.h"

#include "errornarrowing.h"
#include "postcheckpool.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// Thrown from the item callback to stop the reader; readExport holds everything it owns in RAII
// objects and calls back from its own loop, never from inside libxml2.
struct RunStopped
{};

// Big enough that handing a batch to a worker costs little next to checking it, small enough
// that the batches in flight stay a small part of the export.
constexpr size_t batchItemLimit = 64;
constexpr qint64 batchByteLimit = 512 * 1024;

void recordBatch(ResultTables& tables, const PostBatch& batch)
{
    for (size_t i = 0; i < batch.items.size(); ++i) {
        const ExportItem& item = batch.items[i];
        recordPost(tables, item.title, CellText::fromUtf8(item.bodyUtf8), batch.reports[i]);
    }
}

// Reads the export on a thread of its own and hands batches of items to the checking pool,
// while the calling thread records the checked batches in file order: reading, checking and
// recording then overlap, and progress is still reported on the calling thread.
ExportReadResult readCheckAndRecord(const QString& path, ResultTables& tables,
                                    const AnalysisOptions& options, int workerCount,
                                    qint64& recorded, bool& cancelled)
{
    PostCheckPool pool(workerCount, options.dummyTag);
    const size_t maxPending = size_t(4 * workerCount);
    ExportReadResult read;
    std::atomic<bool> stop = false;
    std::thread reader([&] {
        try {
            std::unique_ptr<PostBatch> batch;
            const auto flush = [&] {
                if (batch)
                    pool.submit(std::move(batch), maxPending);
            };
            read = readExport(path, [&](ExportItem&& item) {
                if (stop)
                    throw RunStopped();
                if (!batch)
                    batch = std::make_unique<PostBatch>();
                batch->bodyBytes += item.bodyUtf8.size();
                batch->items.push_back(std::move(item));
                if (batch->items.size() >= batchItemLimit || batch->bodyBytes >= batchByteLimit)
                    flush();
            });
            flush();
        } catch (const RunStopped&) {
            read = ExportReadResult();
        } catch (const std::bad_alloc&) {
            read = ExportReadResult();
            read.problem.reason = QStringLiteral("Out of memory");
        }
        pool.finishSubmitting();
    });

    try {
        while (const std::unique_ptr<PostBatch> batch = pool.takeOldest()) {
            if (cancelled)
                continue; // dropped, so that a reader waiting for room can go on to its end
            recordBatch(tables, *batch);
            recorded += qint64(batch->items.size());
            if (options.progress)
                options.progress(recorded);
            if (options.cancelled && options.cancelled()) {
                cancelled = true;
                stop = true;
            }
        }
    } catch (...) {
        // The reader may be waiting for room: let it finish before the pool goes away.
        while (pool.takeOldest()) {
        }
        reader.join();
        throw;
    }
    reader.join();
    return read;
}

} // namespace

AnalysisOutcome loadExport(const QString& path, ResultTables& tables,
                           const AnalysisOptions& options)
{
    const int workerCount =
        options.workerCount > 0 ? options.workerCount : std::max(1, QThread::idealThreadCount());

    ExportReadResult read;
    qint64 recorded = 0;
    bool cancelled = false;
    if (workerCount == 1) {
        try {
            read = readExport(path, [&](ExportItem&& item) {
                if (options.cancelled && options.cancelled())
                    throw RunStopped();
                recordPost(tables, item.title, CellText::fromUtf8(item.bodyUtf8),
                           checkPostBody(item.bodyUtf8, options.dummyTag));
                ++recorded;
                if (options.progress && recorded % batchItemLimit == 0)
                    options.progress(recorded);
            });
        } catch (const RunStopped&) {
            cancelled = true;
        }
        if (options.progress && recorded % batchItemLimit != 0)
            options.progress(recorded);
    } else {
        read = readCheckAndRecord(path, tables, options, workerCount, recorded, cancelled);
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
    if (read.usable)
        outcome.exportFaults = std::move(read.faults);
    else
        outcome.problem = std::move(read.problem);
    if (read.usable && read.itemCount == 0)
        outcome.problem.reason = QStringLiteral("The file holds no rss/channel/item element");
    if (!outcome.foundItems)
        tables.reset();
    return outcome;
}

AnalysisOutcome runAnalysis(const QString& path, ResultTables& tables,
                            const AnalysisOptions& options)
{
    tables.reset();
    const AnalysisOutcome outcome = loadExport(path, tables, options);
    narrowErrors(tables);
    return outcome;
}
