#include "faultlist.h"

#include <algorithm>
#include <tuple>

void FaultList::Tally::leaveOut(qint64 count, qint64 line, qint64 column)
{
    if (leftOut == 0) {
        firstLine = line;
        firstColumn = column;
    }
    leftOut += count;
}

FaultList::Tally& FaultList::tallyOf(Place place)
{
    // Only the item being read and the one after it, and the space outside, are ever open.
    for (Tally& tally : open_)
        if (tally.place == place)
            return tally;
    open_.push_back(Tally{place});
    return open_.back();
}

bool FaultList::admit(Place place, qint64 line, qint64 column)
{
    ++count_;
    Tally& tally = tallyOf(place);
    if (tally.kept >= itemLimit) {
        tally.leaveOut(1, line, column);
        return false;
    }
    if (kept_.size() >= totalLimit) {
        beyondTotal_.leaveOut(1, line, column);
        return false;
    }
    ++tally.kept;
    return true;
}

bool FaultList::leavesOut(Place place) const
{
    return std::any_of(open_.begin(), open_.end(), [&](const Tally& tally) {
        return tally.place == place && tally.leftOut > 0;
    });
}

qsizetype FaultList::add(ExportFault fault)
{
    kept_.append(std::move(fault));
    return kept_.size() - 1;
}

void FaultList::closePlace(Place place, const QString& itemTitle, const QString& postId)
{
    const auto at = std::find_if(open_.begin(), open_.end(),
                                 [&](const Tally& tally) { return tally.place == place; });
    if (at == open_.end())
        return;
    const Tally tally = *at;
    open_.erase(at);
    if (tally.leftOut == 0)
        return;
    if (kept_.size() >= totalLimit) {
        beyondTotal_.leaveOut(tally.leftOut, tally.firstLine, tally.firstColumn);
        return;
    }
    ExportFault record;
    record.line = tally.firstLine;
    record.column = tally.firstColumn;
    record.inItem = place != nullptr;
    record.itemTitle = itemTitle;
    record.postId = postId;
    record.reason = place != nullptr
                        ? QStringLiteral("%1 more faults in this item are not listed")
                        : QStringLiteral("%1 more faults outside the items are not listed");
    record.reason = record.reason.arg(tally.leftOut);
    kept_.append(std::move(record));
}

QList<ExportFault> FaultList::take()
{
    QList<ExportFault> faults = std::exchange(kept_, {});
    std::stable_sort(faults.begin(), faults.end(), [](const ExportFault& a, const ExportFault& b) {
        return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    });
    if (beyondTotal_.leftOut > 0) {
        ExportFault record;
        record.line = beyondTotal_.firstLine;
        record.column = beyondTotal_.firstColumn;
        record.reason =
            QStringLiteral("%1 more faults in the export are not listed").arg(beyondTotal_.leftOut);
        faults.append(std::move(record));
    }
    return faults;
}
