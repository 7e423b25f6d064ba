#include "postcheckpool.h"

#include <new>
#include <optional>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int workerNiceness = 4;

} // namespace

void checkBatch(PostBatch& batch, PostChecker& checker, BodyReading* reading)
{
    try {
        batch.reports.resize(batch.items.size());
        for (size_t i = 0; i < batch.items.size(); ++i)
            batch.reports[i] = checker.check(batch.items[i], reading);
    } catch (...) {
        batch.failure = std::current_exception();
    }
}

PostCheckPool::PostCheckPool(int workerCount, QString dummyTag, BodyReadingFactory readings)
    : dummyTag_(std::move(dummyTag)), readings_(std::move(readings))
{
    try {
        for (int i = 0; i < workerCount; ++i)
            workers_.emplace_back([this] { work(); });
    } catch (const std::system_error& failure) {
        // Too many threads, or no memory for a stack: the workers already running make do, and
        // with none the run cannot go on.
        if (workers_.empty())
            throw std::system_error(failure.code(), "cannot start a thread to check the posts");
    } catch (...) {
        if (workers_.empty())
            throw;
    }
}

PostCheckPool::~PostCheckPool()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void PostCheckPool::submit(std::unique_ptr<PostBatch> batch, size_t maxPending)
{
    {
        std::unique_lock lock(mutex_);
        batchTaken_.wait(lock, [&] { return pending_.size() < maxPending; });
        // A batch is either in both lists or in neither: a worker must never find one that is
        // gone, nor a taker wait for one that no worker will check.
        pending_.push_back(std::move(batch));
        try {
            queue_.push_back(pending_.back().get());
        } catch (...) {
            pending_.pop_back();
            throw;
        }
    }
    workAvailable_.notify_one();
}

void PostCheckPool::finishSubmitting()
{
    {
        std::lock_guard lock(mutex_);
        submittingFinished_ = true;
    }
    batchDone_.notify_all();
}

std::unique_ptr<PostBatch> PostCheckPool::takeOldest()
{
    std::unique_ptr<PostBatch> batch;
    {
        std::unique_lock lock(mutex_);
        batchDone_.wait(lock, [this] {
            return (!pending_.empty() && pending_.front()->done) ||
                   (pending_.empty() && submittingFinished_);
        });
        if (pending_.empty())
            return nullptr;
        batch = std::move(pending_.front());
        pending_.pop_front();
    }
    batchTaken_.notify_all();
    return batch;
}

void PostCheckPool::work()
{
    // The reader is the one thread a run waits for; checking can be done at any time before its
    // batch is recorded. On a machine with fewer cores than threads, workers yield to it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), workerNiceness);
    std::optional<PostChecker> checker;
    std::unique_ptr<BodyReading> reading;
    try {
        checker.emplace(dummyTag_);
        if (readings_)
            reading = readings_();
    } catch (...) {
        checker.reset();
        // Without a checker this worker cannot check; the batches it would take are reported as
        // out of memory, the one failure that making it can have.
    }
    for (;;) {
        PostBatch* batch = nullptr;
        {
            std::unique_lock lock(mutex_);
            workAvailable_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            batch = queue_.front();
            queue_.pop_front();
        }
        if (checker)
            checkBatch(*batch, *checker, reading.get());
        else
            batch->failure = std::make_exception_ptr(std::bad_alloc());
        bool oldest = false;
        {
            std::lock_guard lock(mutex_);
            batch->done = true;
            oldest = pending_.front().get() == batch;
        }
        // The taker waits for the oldest batch only; waking it for any other is wasted.
        if (oldest)
            batchDone_.notify_all();
    }
}
