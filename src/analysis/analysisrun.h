#pragma once

#include "exportreader.h"
#include "resulttables.h"
#include "rowsink.h"

#include <QString>

#include <functional>

struct AnalysisOptions
{
    QString dummyTag = QStringLiteral("dummy");
    // Threads that check post bodies; 0 picks one per core, 1 checks everything on the calling
    // thread. The results are the same whatever the number.
    int workerCount = 0;
    // Called on the calling thread now and then with the number of items recorded so far.
    std::function<void(qint64 itemsRecorded)> progress;
    // Asked on the calling thread between items or batches; true stops the run there, keeping
    // the rows of the items recorded so far.
    std::function<bool()> cancelled;
    // When set, each thread that checks posts reads every body with a reading of its own, made
    // with this, beside its check; what it makes comes with each post's report.
    BodyReadingFactory bodyReadings;
};

// The reading of the export as the run saw it: its items are those recorded, the faults read
// through are those of a usable export, whose posts were checked as usual, and a problem also
// says why a usable file held no item. An unreadable file says nothing about the items, and the
// outputs of a previous run stand.
struct AnalysisOutcome : ExportReading
{
    // False when the export held no usable item: the caller shows "Could not find any
    // WordPress items in the export." and the tables hold only their header rows.
    bool foundItems = false;
    // The run was stopped: the tables hold the itemCount items recorded before that.
    bool cancelled = false;
};

inline const QString noItemsMessage =
    QStringLiteral("Could not find any WordPress items in the export.");

// Reads the export at path and checks every item into tables, which must have just been reset:
// one error row per item in file order, then the link rows of those that parsed. When the file
// turns out to be unusable, every row appended is taken back. Running out of memory on any thread
// of the run throws std::bad_alloc here, once every thread has stopped, and a thread that cannot
// be started throws std::system_error saying which; the tables are then
// incomplete and must be reset or dropped.
AnalysisOutcome loadExport(const QString& path, ResultTables& tables,
                           const AnalysisOptions& options);

// The same for any keeper of rows. A sink cannot take rows back: when the file turns out to be
// unusable after some items, the outcome says so and the sink decides what to discard.
AnalysisOutcome loadExport(const QString& path, RowSink& sink, const AnalysisOptions& options);

// A whole run as the window makes it: the tables reset, then filled.
AnalysisOutcome runAnalysis(const QString& path, ResultTables& tables,
                            const AnalysisOptions& options);
