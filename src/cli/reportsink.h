#pragma once

#include "faultformat.h"

#include "analysis/bodylocator.h"
#include "analysis/rowsink.h"
#include "export/tablestream.h"

#include <QFile>

#include <optional>

// Sends each checked post of one export where the report's options say, as it arrives: its
// error row and link rows to the streamed tables, a fault to the format with its place in the
// export. Keeps only the counts.
class ReportSink : public RowSink
{
public:
    // exportFile: the export opened for reading, to find fault positions in; any stream may be
    // null when that output is not asked for.
    ReportSink(FaultFormat& format, QFile& exportFile, TableStream* errors, LinkTableStream* links)
        : format_(format), exportFile_(exportFile), bodyStarts_(exportFile), errors_(errors),
          links_(links)
    {}

    void addPost(const ExportItem& item, const PostReport& report) override;

    qint64 items() const { return items_; }
    qint64 notWellFormed() const { return notWellFormed_; }
    qint64 linkRows() const { return linkRows_; }
    // The places in the export of the body of the item last added, that item; none for a stream.
    std::optional<BodyPlaces> lastBodyPlaces(const ExportItem& item)
    {
        if (!exportFile_.isOpen())
            return std::nullopt;
        return bodyStarts_.placesOf(bodyStart_, item.bodyUtf8);
    }
    // The attribute names the link table has no column for, counted; none when no link table is
    // written, as nothing is then left out (JSON's link rows hold every attribute).
    QMap<QString, qint64> leftOutAttributes() const
    {
        return links_ != nullptr ? links_->columns().leftOut() : QMap<QString, qint64>();
    }

private:
    FaultFormat& format_;
    QFile& exportFile_;
    BodyStartReader bodyStarts_;
    TableStream* errors_;
    LinkTableStream* links_;
    ExportPosition bodyStart_;
    qint64 items_ = 0;
    qint64 notWellFormed_ = 0;
    qint64 linkRows_ = 0;
};
