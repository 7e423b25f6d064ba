#pragma once

#include "exportitem.h"

#include <QList>

#include <vector>

// The faults that the export reader reads through, as it keeps them. A hostile file can hold a
// fault in nearly every byte; one record each would cost hundreds of bytes of memory per byte of
// the file, and no one reads a million lines of the same fault. So at most itemLimit faults of one
// item (or of all that lies outside the items) are kept, and at most totalLimit records in all;
// the rest are counted, and the place they were left out of gets one record that says how many.
class FaultList
{
public:
    static constexpr qint64 itemLimit = 100;
    static constexpr qint64 totalLimit = 10000;

    // The item a fault lies in, nullptr outside every item: any value that stays the same for one
    // item until closeItem() is called for it.
    using Place = const void*;

    // Counts a fault of the place, at the given line and column; true when it is to be kept, by
    // add().
    bool admit(Place place, qint64 line, qint64 column);
    // Keeps an admitted fault; returns its index for at().
    qsizetype add(ExportFault fault);
    ExportFault& at(qsizetype index) { return kept_[index]; }
    // Whether some fault of the place was not kept.
    bool leavesOut(Place place) const;
    // No more faults of the place will come: what was left out of it is recorded as a fault like
    // the first of them, with the item's title and post ID when it is one.
    void closePlace(Place place, const QString& itemTitle = QString(),
                    const QString& postId = QString());
    // Every fault found, kept or not.
    qint64 count() const { return count_; }
    // The records kept, in file order, with what was left out of the export as a whole; every
    // place must have been closed.
    QList<ExportFault> take();

private:
    struct Tally
    {
        Place place;
        qint64 kept = 0;
        qint64 leftOut = 0;
        qint64 firstLine = 0;
        qint64 firstColumn = 0;

        void leaveOut(qint64 count, qint64 line, qint64 column);
    };

    Tally& tallyOf(Place place);

    std::vector<Tally> open_;
    QList<ExportFault> kept_;
    Tally beyondTotal_{nullptr};
    qint64 count_ = 0;
};
