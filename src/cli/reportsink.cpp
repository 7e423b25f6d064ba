#include "reportsink.h"

#include "analysis/bodyposition.h"
#include "analysis/errornarrowing.h"

void ReportSink::addPost(const ExportItem& item, const PostReport& report)
{
    ++items_;
    // Taken for every item, in file order, so that each item gets its own.
    const ExportPosition bodyStart = exportFile_.isOpen() ? bodyStarts_.next() : ExportPosition();
    const QString source = QString::fromUtf8(report.sourceUtf8);
    const QString narrowed = source.isEmpty() ? QString() : narrowAround(source, report.pos);
    if (errors_ != nullptr) {
        errors_->addRow({item.title, report.errorCode, report.reason, report.line, report.pos,
                         source, narrowed});
    }
    if (report.errorCode != 0) {
        ++notWellFormed_;
        PostFault fault{item.title,    item.postId, item.permalink, report.errorCode,
                        report.reason, report.line, report.pos,     {},
                        source,        narrowed};
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
    else
        columns_.note(report.links);
    if (format_.wantsLinks())
        format_.links(item.title, item.postId, report.links);
}
