#include "exportreader.h"

#include "exportpass.h"

#include "exportrepair.h"
#include "exporttree.h"
#include "faultlist.h"
#include "guardedinput.h"
#include "libxmlsupport.h"
#include "markupguard.h"
#include "nativepath.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using exporttree::isItem;
using exporttree::itemFrom;
using exporttree::markersIn;
using exporttree::placeInItem;
using exporttree::placeOf;

struct ReadState
{
    bool faulted = false;
    ExportFault problem;
    // What kind of fault the problem is (see ExportPass).
    bool broken = false;
    bool afterRoot = false;
    // libxml2 reports a missing DTD when validation is on, as it must be for files that carry a
    // DOCTYPE. For a file without one that report is no fault, but whether the file has a DOCTYPE
    // is only known once the reader reaches it, so the report waits until the end.
    bool reportedNoDtd = false;
    ExportFault noDtdProblem;
    // The faults read through. Namespace faults, which libxml2 reads through, are kept as they
    // are reported, and those in an item wait here until it has been read whole and can name its
    // title and post ID.
    FaultList faults;
    std::vector<std::pair<qsizetype, const xmlNode*>> unplaced;
    const exportrepair::ByteRepair* repair = nullptr;
    const markupguard::ByteStreamGuard* guard = nullptr;
    std::exception_ptr failure;

    void fail(ExportFault fault)
    {
        if (!faulted) {
            faulted = true;
            problem = std::move(fault);
        }
    }
};

const xmlNode* itemOfFault(const xmlError& error)
{
    const xmlNode* node = nullptr;
    if (error.domain == XML_FROM_VALID)
        node = static_cast<const xmlNode*>(error.node);
    else if ((error.domain == XML_FROM_PARSER || error.domain == XML_FROM_NAMESPACE) &&
             error.ctxt != nullptr)
        node = static_cast<const xmlParserCtxt*>(error.ctxt)->node;
    for (; node != nullptr; node = node->parent)
        if (node->type == XML_ELEMENT_NODE && isItem(node))
            return node;
    return nullptr;
}

// Whether libxml2 reports a file that ends inside an element, and the state it was in.
const xmlParserCtxt* endedInsideElement(const xmlError& error)
{
    const auto* context = static_cast<const xmlParserCtxt*>(error.ctxt);
    if (error.code != XML_ERR_DOCUMENT_END || error.domain != XML_FROM_PARSER ||
        context == nullptr || context->node == nullptr || context->node->type != XML_ELEMENT_NODE)
        return nullptr;
    return context;
}

// libxml2's streaming reader reports a file that ends inside an element as extra content at the
// end; its other parsers, xmllint's among them, name what was left open, which says more.
QString reasonFor(const xmlError& error)
{
    const xmlParserCtxt* context = endedInsideElement(error);
    if (context == nullptr)
        return libxml::reasonOf(error);
    if (context->instate == XML_PARSER_CDATA_SECTION)
        return QStringLiteral("CData section not finished");
    if (context->instate == XML_PARSER_COMMENT)
        return QStringLiteral("Comment not terminated");
    return QStringLiteral("Premature end of data in tag %1 line %2")
        .arg(QString::fromUtf8(reinterpret_cast<const char*>(context->node->name)))
        .arg(xmlGetLineNo(context->node));
}

ExportFault faultOf(const xmlError& error, const ReadState& state)
{
    ExportFault fault;
    fault.reason = reasonFor(error);
    if (error.line > 0) {
        // libxml2 counts in the bytes it was given: the repaired bytes, which may lack what stood
        // before the declaration, with long CDATA sections split.
        fault.line = error.line + state.repair->removedLines();
        fault.column = error.int2 + (error.line == 1 ? state.repair->removedColumns() : 0);
        if (error.ctxt != nullptr &&
            (error.domain == XML_FROM_PARSER || error.domain == XML_FROM_NAMESPACE)) {
            const qint64 offset = xmlByteConsumed(static_cast<xmlParserCtxt*>(error.ctxt));
            fault.column -= state.guard->unitsInsertedBefore(error.line, offset);
        }
    }
    // In a CDATA section cut off by the end of the file, libxml2 stands where it last passed on
    // some of the section's text, which depends on how its input came in pieces: the file ends
    // where its bytes do.
    if (const xmlParserCtxt* context = endedInsideElement(error);
        context != nullptr && context->instate == XML_PARSER_CDATA_SECTION &&
        state.repair->readsUtf8())
        std::tie(fault.line, fault.column) = state.repair->endPosition();
    return fault;
}

bool isNamespaceFault(const xmlError& error)
{
    return error.domain == XML_FROM_NAMESPACE && error.code >= XML_NS_ERR_XML_NAMESPACE &&
           error.code <= XML_NS_ERR_COLON;
}

void onReaderError(void* userData, xmlErrorPtr error)
{
    auto& state = *static_cast<ReadState*>(userData);
    if (error == nullptr || !libxml::isFault(*error))
        return;
    libxml::guardCallback(
        state.failure,
        [&] {
            if (error->code == XML_ERR_NO_MEMORY)
                throw std::bad_alloc();
            ExportFault fault = faultOf(*error, state);
            const xmlNode* item = itemOfFault(*error);
            const bool kept =
                !isNamespaceFault(*error) || state.faults.admit(item, fault.line, fault.column);
            if (item != nullptr && kept)
                placeInItem(fault, placeOf(item, state.repair->markedAnything(), state.guard));
            if (isNamespaceFault(*error)) {
                if (kept) {
                    const qsizetype index = state.faults.add(std::move(fault));
                    if (item != nullptr)
                        state.unplaced.emplace_back(index, item);
                }
            } else if (error->code == XML_DTD_NO_DTD) {
                state.reportedNoDtd = true;
                state.noDtdProblem = std::move(fault);
            } else {
                if (!state.faulted && error->domain == XML_FROM_PARSER) {
                    const auto* context = static_cast<const xmlParserCtxt*>(error->ctxt);
                    state.broken = true;
                    state.afterRoot = error->code == XML_ERR_DOCUMENT_END &&
                                      (context == nullptr || context->node == nullptr);
                    // libxml2 goes on reading to the end, building nothing more: a reading past
                    // the break would cost the rest of the file each time.
                    if (context != nullptr)
                        xmlStopParser(const_cast<xmlParserCtxt*>(context));
                }
                state.fail(std::move(fault));
            }
        },
        [&] { state.faulted = true; });
}

bool readerAtPlainElement(xmlTextReader* reader, const char* name)
{
    const auto* localName = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
    return xmlTextReaderConstNamespaceUri(reader) == nullptr && localName != nullptr &&
           std::strcmp(localName, name) == 0;
}

} // namespace

ExportReadResult readExport(const QString& path, const ItemHandler& onItem,
                            const ChannelHandler& onChannel)
{
    QFile file;
    ExportReadResult result;
    result.problem.reason = openForReading(file, path);
    result.unreadable = !result.problem.reason.isEmpty();
    if (result.unreadable)
        return result;
    result = readExport(static_cast<QIODevice&>(file), onItem, onChannel);
    if (result.usable && file.error() != QFileDevice::NoError) {
        result.usable = false;
        result.unreadable = true;
        result.problem = ExportFault();
        result.problem.reason = file.errorString();
    }
    return result;
}

namespace {

// Walks the document, handing on every `rss/channel/item`, and tells each fault that the repair
// read through whether it lies in an item, by the markers that each part of the tree holds.
class ItemWalk
{
public:
    ItemWalk(xmlTextReader* reader, ReadState& state, exportrepair::ByteRepair& repair,
             markupguard::ByteStreamGuard& guard)
        : reader_(reader), state_(state), repair_(repair), guard_(guard)
    {}

    // Returns the reader's last status: 0 at the end, negative on failure.
    int run(const ItemHandler& onItem, qint64& itemCount)
    {
        int status = xmlTextReaderRead(reader_);
        while (status == 1 && !state_.faulted) {
            const int type = xmlTextReaderNodeType(reader_);
            if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
                hasDoctype = true;
            } else if (type == XML_READER_TYPE_ELEMENT && atItem()) {
                const xmlNode* item = xmlTextReaderExpand(reader_);
                if (item == nullptr || state_.faulted)
                    break;
                placeFaults(item, true);
                handChannel();
                onItem(itemFrom(item, repair_.markedAnything(), &guard_));
                exporttree::dropHeld(item, guard_);
                ++itemCount;
                status = xmlTextReaderNext(reader_);
                continue;
            } else if (type != XML_READER_TYPE_END_ELEMENT) {
                if (type == XML_READER_TYPE_ELEMENT && inChannel_ && !channelHanded_ &&
                    xmlTextReaderDepth(reader_) == 2)
                    readChannel();
                if (type == XML_READER_TYPE_CDATA)
                    exporttree::dropHeld(xmlTextReaderCurrentNode(reader_), guard_);
                placeFaults(xmlTextReaderCurrentNode(reader_), false);
            }
            status = xmlTextReaderRead(reader_);
        }
        return status;
    }

    // Hands on what the channel said before its first item, once.
    void handChannel()
    {
        if (channelHanded_)
            return;
        channelHanded_ = true;
        if (onChannel_)
            onChannel_(channel);
    }

    // The rest of the repair's faults, past the last node read, lie outside every item.
    void keepLastFaults()
    {
        keepRepairFaults(repair_.faultCount(), nullptr, [] { return exporttree::ItemPlace(); });
        state_.faults.closePlace(nullptr);
    }

    bool hasDoctype = false;
    ExportChannel channel;
    ChannelHandler onChannel_;

private:
    void readChannel()
    {
        if (const xmlNode* element = xmlTextReaderExpand(reader_))
            exporttree::readChannelChild(element, channel, &guard_);
    }

    bool atItem()
    {
        const int depth = xmlTextReaderDepth(reader_);
        if (depth == 0)
            rootIsRss_ = readerAtPlainElement(reader_, "rss");
        else if (depth == 1)
            inChannel_ = rootIsRss_ && readerAtPlainElement(reader_, "channel");
        return depth == 2 && inChannel_ && readerAtPlainElement(reader_, "item");
    }

    // Keeps the faults that the markers of the node stand for, in the item when it is one; those
    // before them lie outside every item. Every namespace fault in an item is named by it.
    void placeFaults(const xmlNode* node, bool item)
    {
        std::optional<exporttree::ItemPlace> place;
        const auto placeOfNode = [&]() -> const exporttree::ItemPlace& {
            if (!place)
                place = placeOf(node, repair_.markedAnything(), &guard_);
            return *place;
        };
        if (item && !state_.unplaced.empty()) {
            for (const auto& [index, itemOfFault] : state_.unplaced)
                if (itemOfFault == node)
                    placeInItem(state_.faults.at(index), placeOfNode());
            std::erase_if(state_.unplaced, [&](const auto& entry) { return entry.second == node; });
        }
        if (node != nullptr && repair_.markerCount() != markersSeen_) {
            const qint64 markers = markersIn(node, item);
            keepRepairFaults(repair_.faultOfMarker(markersSeen_), nullptr, placeOfNode);
            markersSeen_ += markers;
            keepRepairFaults(repair_.faultOfMarker(markersSeen_), item ? node : nullptr,
                             placeOfNode);
        }
        if (item && state_.faults.leavesOut(node))
            state_.faults.closePlace(node, placeOfNode().title, placeOfNode().postId);
        else if (item)
            state_.faults.closePlace(node);
    }

    // Keeps the repair's faults up to end, those that stay within the bounds of their place.
    template <typename PlaceOf>
    void keepRepairFaults(qint64 end, const xmlNode* item, const PlaceOf& placeOfItem)
    {
        end = std::min(end, repair_.faultCount());
        for (; repairFaultsKept_ < end; ++repairFaultsKept_) {
            const auto [line, column] = repair_.faultPosition(repairFaultsKept_);
            if (!state_.faults.admit(item, line, column))
                continue;
            ExportFault fault = repair_.fault(repairFaultsKept_);
            if (item != nullptr)
                placeInItem(fault, placeOfItem());
            state_.faults.add(std::move(fault));
        }
        repair_.dropFaultsBefore(end);
    }

    xmlTextReader* reader_;
    ReadState& state_;
    exportrepair::ByteRepair& repair_;
    markupguard::ByteStreamGuard& guard_;
    bool rootIsRss_ = false;
    bool inChannel_ = false;
    bool channelHanded_ = false;
    qint64 markersSeen_ = 0;
    qint64 repairFaultsKept_ = 0; // the repair's faults before this one have been kept or counted
};

// The faults that are only known, or only known to be faults, once the reader has stopped.
void failAfterReading(ReadState& state, const markupguard::ByteStreamGuard& guard, int status,
                      bool hasDoctype, const libxml::RefusedResourceScope& refused,
                      const libxml::ConversionErrorScope& conversion)
{
    // The guard stops the input, and libxml2 then reports whatever the cut left; the guard's
    // own reason is the one that explains it.
    if (const auto& violation = guard.violation()) {
        state.faulted = true;
        state.broken = false;
        state.problem = ExportFault();
        state.problem.reason = violation->reason;
    }
    // Bytes that the declared encoding cannot read stop the reader with no parser error of its
    // own: the conversion's error, raised to no parser, says what happened.
    if (status < 0 && !conversion.firstFailure().isEmpty())
        state.fail({0,
                    0,
                    QStringLiteral("the file's bytes cannot be read in its encoding: %1")
                        .arg(conversion.firstFailure()),
                    false,
                    {},
                    {}});
    if (status < 0)
        state.fail({0, 0, QStringLiteral("the file is not well-formed XML"), false, {}, {}});
    if (state.reportedNoDtd && hasDoctype)
        state.fail(state.noDtdProblem);
    if (refused.refusedAny()) {
        state.broken = false;
        state.fail(
            {0,
             0,
             QStringLiteral("refused to load the external resource %1").arg(refused.firstRefused()),
             false,
             {},
             {}});
    }
}

} // namespace

ExportPass readExportPass(QIODevice& device, const ItemHandler& onItem,
                          const ChannelHandler& onChannel)
{
    libxml::initialize();
    ExportPass pass;
    ExportReadResult& result = pass.result;
    ReadState state;
    libxml::RefusedResourceScope refused;
    const libxml::ConversionErrorScope conversion;
    GuardedInput input{device, {}, {}, {}, {}, {}, 0, false, false, 0, {}};
    state.repair = &input.repair;
    state.guard = &input.guard;
    const int options = exportParserOptions(input);
    if ((options & XML_PARSE_HUGE) != 0 && input.repair.readsUtf8())
        input.guard.holdCdataText();
    libxml::TextReader reader(
        xmlReaderForIO(readGuardedInput, closeNothing, &input, nullptr, nullptr, options));
    if (!reader) {
        result.problem.reason = QStringLiteral("The XML reader could not be created");
        return pass;
    }
    xmlTextReaderSetStructuredErrorHandler(reader.get(), onReaderError, &state);

    ItemWalk walk(reader.get(), state, input.repair, input.guard);
    walk.onChannel_ = onChannel;
    xmlResetLastError();
    const int status = walk.run(onItem, result.itemCount);
    // A buffer libxml2 cannot grow is raised to no parser, and the reader just stops there: only
    // the thread's last error tells that the run failed, not the export.
    const xmlError* last = xmlGetLastError();
    if (last != nullptr && last->code == XML_ERR_NO_MEMORY)
        throw std::bad_alloc();
    if (!state.faulted)
        walk.handChannel();
    result.channel = walk.channel;
    libxml::rethrowKept(input.failure);
    libxml::rethrowKept(state.failure);
    failAfterReading(state, input.guard, status, walk.hasDoctype, refused, conversion);

    result.usable = !state.faulted;
    if (!result.usable)
        result.problem = state.problem;
    // libxml2 calls an empty file extra content at its end.
    if (!result.usable && input.ended && input.totalRead == 0)
        result.problem = {0, 0, QStringLiteral("The file is empty"), false, {}, {}};
    walk.keepLastFaults();
    result.faultCount = state.faults.count();
    result.faults = state.faults.take();
    pass.broken = state.broken && !result.usable;
    pass.afterRoot = pass.broken && state.afterRoot;
    pass.utf8 = input.repair.readsUtf8();
    // The prolog said whether a DOCTYPE may come before the reader could reach it.
    pass.hasDoctype = walk.hasDoctype || (options & XML_PARSE_HUGE) == 0;
    return pass;
}
