// Reading past a break. WordPress's importer, when its XML parsers fail, reads an export item by
// item, so an export that libxml2 stops in is still one its author can import: a post whose text
// ends its CDATA section early, a title with a bare '&', a file cut off by a time-out or followed
// by what PHP printed after it. The reader then reads the first item not yet handed on (libxml2
// reads ahead, so the break may lie in a later one) as libxml2 would read it alone in its channel;
// an item that breaks even so is read the importer's way. The reading goes on after that item,
// from the start of the file to the channel's start tag and then from there, as libxml2 would
// read an export holding only the items from there on. The normal path costs nothing more: the
// file is only scanned for its items after a break.

#include "exportpass.h"
#include "faultlist.h"
#include "importerreading.h"
#include "rawscan.h"
#include "splicedinput.h"

#include <QRegularExpression>

#include <algorithm>
#include <cctype>
#include <tuple>

namespace {

bool isBefore(const ExportFault& fault, const ExportPosition& place)
{
    return std::tie(fault.line, fault.column) < std::tie(place.line, place.column);
}

class Recovery
{
public:
    Recovery(QIODevice& file, const ItemHandler& onItem, const ChannelHandler& onChannel)
        : file_(file), onItem_(onItem), onChannel_(onChannel)
    {}

    ExportReadResult run();

private:
    enum class Found
    {
        Item,
        DocumentEnd,
        FileEnd,
    };

    bool findHead();
    std::pair<Found, ExportPosition> nextItem(const ExportPosition& from, qint64 skip);
    ExportPosition itemEnd(const ExportPosition& start);
    QByteArray bytes(qint64 from, qint64 to);
    ExportPass readFrom(const ExportPosition& from, qint64 to, const QByteArray& tail);
    bool place(const ExportPosition& from, ExportFault& fault) const;
    void keepFaults(const ExportPass& pass, const ExportPosition& from,
                    const ExportPosition& before, const ExportItem* item = nullptr);
    void hand(ExportItem&& item);
    bool readOneItem(const ExportPosition& start, const ExportPosition& end, ExportPass& broken);
    ExportReadResult endAfterRoot(const ExportPass& pass, const ExportPosition& from,
                                  const ExportPosition& end);
    ExportReadResult endInside(const ExportPass& pass, const ExportPosition& from,
                               const ExportPosition& item);
    ExportReadResult unusable(const ExportPass& pass, const ExportPosition& from);
    ExportReadResult finish();

    QIODevice& file_;
    const ItemHandler& onItem_;
    const ChannelHandler& onChannel_;
    ExportChannel channel_;
    bool channelHanded_ = false;
    qint64 itemCount_ = 0;
    QByteArray head_;
    ExportPosition headEnd_;
    // The heads fed to libxml2 beyond the file's own bytes, and how many may be: a head holds what
    // a plugin printed before the declaration, and very many breaks must not cost many files.
    qint64 extraFed_ = 0;
    qint64 extraLimit_ = 0;
    QList<ExportFault> faults_;
    qint64 faultCount_ = 0;
};

// The start of the file to the end of the first channel's start tag, which every pass after a
// break begins with.
bool Recovery::findHead()
{
    RawScan scan(file_, {0, 1, 1});
    RawScan::Tag tag;
    do {
        if (!scan.nextTag(tag))
            return false;
    } while (tag.closing || tag.name != "rss");
    for (int depth = tag.empty ? 0 : 1; depth > 0 && scan.nextTag(tag);) {
        if (depth == 1 && !tag.closing && !tag.empty && tag.name == "channel") {
            headEnd_ = scan.position();
            head_ = bytes(0, headEnd_.offset);
            return head_.size() == headEnd_.offset;
        }
        depth += tag.closing ? -1 : tag.empty ? 0 : 1;
    }
    return false;
}

// The start of the item after the first skip items at the channel's level from a place there; or
// the end of the root element or of the file when no such item comes first.
std::pair<Recovery::Found, ExportPosition> Recovery::nextItem(const ExportPosition& from,
                                                              qint64 skip)
{
    RawScan scan(file_, from);
    RawScan::Tag tag;
    int depth = 0;
    while (scan.nextTag(tag)) {
        if (depth == 0 && !tag.closing && tag.name == "item" && skip-- == 0)
            return {Found::Item, tag.start};
        depth += tag.closing ? -1 : tag.empty ? 0 : 1;
        if (depth == -2 || (tag.closing && tag.name == "rss"))
            return {Found::DocumentEnd, scan.position()};
    }
    return {Found::FileEnd, {}};
}

// Where the importer takes the item to end: after the next `</item>`.
ExportPosition Recovery::itemEnd(const ExportPosition& start)
{
    RawScan scan(file_, start);
    return scan.skipPast("</item>") ? scan.position() : ExportPosition();
}

QByteArray Recovery::bytes(qint64 from, qint64 to)
{
    if (!file_.seek(from))
        return {};
    return file_.read(to >= 0 ? to - from : file_.size() - from);
}

ExportPass Recovery::readFrom(const ExportPosition& from, qint64 to, const QByteArray& tail)
{
    const qint64 lineEnds = from.line > headEnd_.line ? 1 : 0;
    extraFed_ += head_.size();
    SplicedInput input(file_, {head_, lineEnds, from.offset, to, tail});
    return readExportPass(input, [&](ExportItem&& item) { hand(std::move(item)); }, {});
}

// The pass reads the head, a line end when the file goes on from a later line, and the file from
// `from` on: its places there, and the lines that libxml2 names in its reasons ("… item line 7
// and itm"), are moved to the file's own. False for a place in the head.
bool Recovery::place(const ExportPosition& from, ExportFault& fault) const
{
    if (!from.isKnown() || fault.line == 0)
        return true;
    const bool lineEnd = from.line > headEnd_.line;
    const qint64 joinLine = headEnd_.line + (lineEnd ? 1 : 0);
    const qint64 joinColumn = lineEnd ? 1 : headEnd_.column;
    if (fault.line < joinLine || (fault.line == joinLine && fault.column < joinColumn))
        return false;
    if (fault.line == joinLine)
        fault.column += from.column - joinColumn;
    const qint64 shift = from.line - joinLine;
    fault.line += shift;
    if (shift == 0 || !fault.reason.contains(QLatin1String(" line ")))
        return true;
    static const QRegularExpression named(QStringLiteral(" line (\\d+)"));
    QString reason;
    qsizetype copied = 0;
    for (const QRegularExpressionMatch& match : named.globalMatch(fault.reason)) {
        const qint64 line = match.captured(1).toLongLong();
        reason += QStringView(fault.reason).sliced(copied, match.capturedStart(1) - copied);
        reason += QString::number(line >= joinLine ? line + shift : line);
        copied = match.capturedEnd(1);
    }
    fault.reason = reason + fault.reason.mid(copied);
    return true;
}

// Keeps the pass's faults that lie in the file from where it read on, before the given place when
// it is known; an item read the importer's way names the faults in it.
void Recovery::keepFaults(const ExportPass& pass, const ExportPosition& from,
                          const ExportPosition& before, const ExportItem* item)
{
    qint64 dropped = 0;
    for (ExportFault fault : pass.result.faults) {
        if (!place(from, fault) || (before.isKnown() && !isBefore(fault, before))) {
            ++dropped;
            continue;
        }
        if (item != nullptr) {
            fault.inItem = true;
            fault.itemTitle = item->title;
            fault.postId = item->postId;
        }
        faults_.append(std::move(fault));
    }
    faultCount_ += std::max<qint64>(pass.result.faultCount - dropped, 0);
}

void Recovery::hand(ExportItem&& item)
{
    if (!channelHanded_) {
        channelHanded_ = true;
        if (onChannel_)
            onChannel_(channel_);
    }
    onItem_(std::move(item));
    ++itemCount_;
}

// Reads the one item from start to end as libxml2 would alone in its channel, or, when it breaks
// even so, the importer's way; false when the item makes the export unusable all the same.
bool Recovery::readOneItem(const ExportPosition& start, const ExportPosition& end,
                           ExportPass& broken)
{
    ExportPass single = readFrom(start, end.offset, QByteArrayLiteral("\n</channel></rss>\n"));
    if (single.result.usable && single.result.itemCount == 1) {
        keepFaults(single, start, {});
        return true;
    }
    // Bytes that an XML reader reads whole but finds no item in (an item start it does not take
    // for one) are read as the importer reads them, as a break in the item is.
    const bool noItem = single.result.usable && single.result.itemCount == 0;
    if ((!single.broken && !noItem) || single.result.itemCount != 0) {
        broken = std::move(single);
        return false;
    }
    ExportItem item = readItemAsImporter(bytes(start.offset, end.offset));
    ExportFault fault = single.result.problem;
    if (noItem)
        fault.reason = QStringLiteral("An XML reader takes this for no item of the channel");
    if (!place(start, fault))
        std::tie(fault.line, fault.column) = std::tie(start.line, start.column);
    fault.reason += QStringLiteral("; the item is read as WordPress's importer reads it");
    fault.inItem = true;
    fault.itemTitle = item.title;
    fault.postId = item.postId;
    keepFaults(single, start, {}, &item);
    faults_.append(std::move(fault));
    ++faultCount_;
    hand(std::move(item));
    return true;
}

// What PHP printed after the root element's end tag: ignored, and said once, with its first line.
ExportReadResult Recovery::endAfterRoot(const ExportPass& pass, const ExportPosition& from,
                                        const ExportPosition& end)
{
    ExportFault fault = pass.result.problem;
    place(from, fault);
    // The rest of the end tag's line is mostly blank: the output, and its place, start at the
    // first character that is not.
    const QByteArray tail = bytes(end.offset, -1);
    qsizetype blank = 0;
    while (blank < tail.size() && std::isspace(static_cast<unsigned char>(tail[blank])))
        ++blank;
    LineCounter counter(end);
    counter.advance(tail.constData(), blank);
    std::tie(fault.line, fault.column) =
        std::tie(counter.position().line, counter.position().column);
    const QByteArray text = tail.sliced(blank).replace("\r\n", "\n").replace('\r', '\n').trimmed();
    // left() of -1 would be empty: a single line is quoted whole.
    const qsizetype lineEnd = text.indexOf('\n');
    const QString first = QString::fromUtf8(lineEnd < 0 ? text : text.first(lineEnd)).trimmed();
    const qint64 lines = text.count('\n') + 1;
    fault.reason = QStringLiteral("%1 %2 after the end of the document, starting \"%3\"")
                       .arg(lines)
                       .arg(lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                       .arg(first.size() > 60 ? first.left(60) + QChar(0x2026) : first);
    keepFaults(pass, from, {fault.line > 0 ? 0 : -1, fault.line, fault.column});
    faults_.append(std::move(fault));
    ++faultCount_;
    return finish();
}

// The file ends inside the item that starts at item, or, when that is unknown, inside the channel.
ExportReadResult Recovery::endInside(const ExportPass& pass, const ExportPosition& from,
                                     const ExportPosition& item)
{
    keepFaults(pass, from, item);
    ExportFault fault = pass.result.problem;
    place(from, fault);
    // Whatever followed the cut, the cut item and any after it, is gone.
    fault.postsLost = true;
    const QString read = itemCount_ == 1
                             ? QStringLiteral("the 1 item before it was read")
                             : QStringLiteral("the %1 items before it were read").arg(itemCount_);
    if (item.isKnown()) {
        const ExportItem cut = readItemAsImporter(bytes(item.offset, -1));
        fault.inItem = true;
        fault.itemTitle = cut.title;
        fault.postId = cut.postId;
        fault.reasonNamesItem = true;
        fault.reason =
            cut.postId.isEmpty()
                ? QStringLiteral("the export ends inside item \"%1\"; %2").arg(cut.title, read)
                : QStringLiteral("the export ends inside item \"%1\" (post ID %2); %3")
                      .arg(cut.title, cut.postId, read);
    } else {
        fault.inItem = false;
        fault.reason = QStringLiteral("the export ends inside the channel; %1").arg(read);
    }
    ++faultCount_;
    if (itemCount_ == 0) {
        ExportReadResult result;
        result.problem = std::move(fault);
        result.channel = channel_;
        return result;
    }
    faults_.append(std::move(fault));
    return finish();
}

ExportReadResult Recovery::unusable(const ExportPass& pass, const ExportPosition& from)
{
    ExportReadResult result = pass.result;
    result.usable = false;
    if (result.problem.reason.isEmpty())
        result.problem.reason = QStringLiteral("The export could not be read past a break in it");
    // Items of earlier passes were handed on too: the caller takes every one of them back.
    result.itemCount = itemCount_;
    place(from, result.problem);
    result.channel = channel_;
    return result;
}

ExportReadResult Recovery::finish()
{
    if (!channelHanded_ && onChannel_)
        onChannel_(channel_);
    channelHanded_ = true;
    ExportReadResult result;
    result.usable = true;
    result.itemCount = itemCount_;
    result.channel = channel_;
    std::stable_sort(faults_.begin(), faults_.end(), [](const auto& a, const auto& b) {
        return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    });
    if (faults_.size() > FaultList::totalLimit) {
        const ExportFault& first = faults_.at(FaultList::totalLimit);
        ExportFault record{first.line, first.column, {}, false, {}, {}};
        record.reason = QStringLiteral("%1 more faults in the export are not listed")
                            .arg(faults_.size() - FaultList::totalLimit);
        faults_.resize(FaultList::totalLimit);
        faults_.append(std::move(record));
    }
    result.faults = std::move(faults_);
    result.faultCount = faultCount_;
    return result;
}

ExportReadResult Recovery::run()
{
    ExportPass pass = readExportPass(
        file_,
        [&](ExportItem&& item) {
            ++itemCount_;
            onItem_(std::move(item));
        },
        [&](const ExportChannel& channel) {
            channelHanded_ = true;
            if (onChannel_)
                onChannel_(channel);
        });
    if (!pass.broken || !pass.utf8 || pass.hasDoctype || file_.isSequential() || !findHead())
        return pass.result;
    channel_ = pass.result.channel;
    extraLimit_ = 4 * file_.size() + (qint64(1) << 26);
    ExportPosition from; // where the pass read on from the file; unknown for the first
    ExportPosition scanFrom = headEnd_;
    while (!pass.result.usable) {
        if (!pass.broken || extraFed_ > extraLimit_)
            return unusable(pass, from);
        const qint64 handed = pass.result.itemCount;
        const auto [found, item] = nextItem(scanFrom, handed);
        if (found == Found::DocumentEnd && pass.afterRoot)
            return endAfterRoot(pass, from, item);
        if (found == Found::FileEnd)
            return endInside(pass, from, {});
        // A break outside the items, in what the channel says of the site, is no item's.
        ExportFault problem = pass.result.problem;
        if (found == Found::DocumentEnd || !place(from, problem) || isBefore(problem, item))
            return unusable(pass, from);
        const ExportPosition end = itemEnd(item);
        if (!end.isKnown())
            return endInside(pass, from, item);
        keepFaults(pass, from, item);
        from = item;
        if (!readOneItem(item, end, pass))
            return unusable(pass, from);
        from = end;
        scanFrom = from;
        pass = readFrom(from, -1, {});
    }
    keepFaults(pass, from, {});
    return finish();
}

} // namespace

ExportReadResult readExport(QIODevice& device, const ItemHandler& onItem,
                            const ChannelHandler& onChannel)
{
    return Recovery(device, onItem, onChannel).run();
}
