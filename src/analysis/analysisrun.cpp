#include "analysisrun.h"

#include "errornarrowing.h"
#include "postcheckpool.h"

#include <QThread>

#include <memory>

namespace {

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

class BatchingChecker
{
public:
    BatchingChecker(ResultTables& tables, const AnalysisOptions& options, int workerCount)
        : tables_(tables), options_(options), pool_(workerCount, options.dummyTag),
          maxPending_(size_t(4 * workerCount))
    {}

    void add(ExportItem&& item)
    {
        if (!current_)
            current_ = std::make_unique<PostBatch>();
        current_->bodyBytes += item.bodyUtf8.size();
        current_->items.push_back(std::move(item));
        if (current_->items.size() >= batchItemLimit || current_->bodyBytes >= batchByteLimit)
            flush();
    }

    void finish()
    {
        flush();
        while (auto batch = pool_.takeOldest(true))
            record(*batch);
    }

private:
    void flush()
    {
        if (!current_)
            return;
        pool_.submit(std::move(current_));
        while (auto batch = pool_.takeOldest(pool_.pendingCount() > maxPending_))
            record(*batch);
    }

    void record(const PostBatch& batch)
    {
        recordBatch(tables_, batch);
        recorded_ += qint64(batch.items.size());
        if (options_.progress)
            options_.progress(recorded_);
    }

    ResultTables& tables_;
    const AnalysisOptions& options_;
    PostCheckPool pool_;
    const size_t maxPending_;
    std::unique_ptr<PostBatch> current_;
    qint64 recorded_ = 0;
};

} // namespace

AnalysisOutcome loadExport(const QString& path, ResultTables& tables,
                           const AnalysisOptions& options)
{
    const int workerCount =
        options.workerCount > 0 ? options.workerCount : std::max(1, QThread::idealThreadCount());

    ExportReadResult read;
    if (workerCount == 1) {
        qint64 recorded = 0;
        read = readExport(path, [&](ExportItem&& item) {
            recordPost(tables, item.title, CellText::fromUtf8(item.bodyUtf8),
                       checkPostBody(item.bodyUtf8, options.dummyTag));
            if (options.progress && ++recorded % 64 == 0)
                options.progress(recorded);
        });
    } else {
        BatchingChecker checker(tables, options, workerCount);
        read = readExport(path, [&](ExportItem&& item) { checker.add(std::move(item)); });
        checker.finish();
    }

    AnalysisOutcome outcome;
    outcome.foundItems = read.usable && read.itemCount > 0;
    outcome.itemCount = outcome.foundItems ? read.itemCount : 0;
    outcome.problem = read.usable ? QString() : read.problem;
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
