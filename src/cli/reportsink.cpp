#include "reportsink.h"

#include "analysis/bodyposition.h"

void ReportSink::addPost(const ExportItem& item, const PostReport& report)
{
    ++items_;
    // Taken for every item, in file order, so that each item gets its own.
    bodyStart_ = exportFile_.isOpen() ? bodyStarts_.next() : ExportPosition();
    const ExportPosition& bodyStart = bodyStart_;
    const ErrorRow row = errorRowOf(item.title, {}, report);
    if (errors_ != nullptr)
        errors_->addRow(row);
    if (report.errorCode != 0) {
        ++notWellFormed_;
        PostFault fault{item.title,
                        item.postId,
                        item.permalink,
                        report.errorCode,
                        report.reason,
                        report.line,
                        report.pos,
                        {},
                        row.cells[ErrorSourceColumn].toString(),
                        row.cells[ErrorNarrowedColumn].toString()};
        if (exportFile_.isOpen())
            fault.inExport =
                locateInExport(exportFile_, bodyStart, item.bodyUtf8, report.bodyOffset,
                               bodyStarts_.heldFrom(bodyStart.offset));
        format_.postFault(fault);
    }
    if (report.links.empty())
        return;
    linkRows_ += qint64(report.links.size());
    if (links_ != nullptr)
        links_->addLinks(item.title, report.links);
    if (format_.wantsLinks())
        format_.links(item.title, item.postId, report.links);
}
