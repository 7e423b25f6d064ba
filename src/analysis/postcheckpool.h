#pragma once

#include "exportreader.h"
#include "postcheck.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A run of consecutive items and, once checked, their reports.
struct PostBatch
{
    std::vector<ExportItem> items;
    std::vector<PostReport> reports;
    qint64 bodyBytes = 0;
    // Set in the batch that the channel was read before: it goes to the sink before the items.
    std::optional<ExportChannel> channel;
    bool done = false;
    // Set when a check could not be made (out of memory): the reports are then incomplete, and
    // whoever takes the batch rethrows it.
    std::exception_ptr failure;
};

// Checks batches of posts on worker threads. Batches are handed back in the order they were
// submitted, so rows and link columns come out exactly as a single thread would make them.
class PostCheckPool
{
public:
    // Each worker makes a reading of its own with readings, when given, to follow every check.
    PostCheckPool(int workerCount, QString dummyTag, BodyReadingFactory readings = {});
    ~PostCheckPool();
    PostCheckPool(const PostCheckPool&) = delete;
    PostCheckPool& operator=(const PostCheckPool&) = delete;

    // Waits while maxPending batches are submitted and not yet taken, so that a fast reader
    // cannot fill memory with batches that the recording has not caught up with.
    void submit(std::unique_ptr<PostBatch> batch, size_t maxPending);
    // Says that no batch will follow.
    void finishSubmitting();
    // The oldest submitted batch once it is checked, waiting for it; null once every batch has
    // been taken and submitting has finished.
    std::unique_ptr<PostBatch> takeOldest();

private:
    void work();

    const QString dummyTag_;
    const BodyReadingFactory readings_;
    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable batchDone_;
    std::condition_variable batchTaken_;
    std::deque<PostBatch*> queue_;                   // waiting for a worker
    std::deque<std::unique_ptr<PostBatch>> pending_; // submitted, in order
    bool stopping_ = false;
    bool submittingFinished_ = false;
    std::vector<std::thread> workers_;
};

// Checks every body of the batch, with reading beside each check when given; never throws,
// keeping in the batch what stopped it.
void checkBatch(PostBatch& batch, PostChecker& checker, BodyReading* reading = nullptr);
