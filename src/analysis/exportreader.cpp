#include "exportreader.h"

#include "exportrepair.h"
#include "exporttree.h"
#include "libxmlsupport.h"
#include "markupguard.h"
#include "nativepath.h"
#include "reusedbuffer.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using exporttree::isItem;
using exporttree::itemFrom;
using exporttree::markersIn;
using exporttree::placeInItem;

// A document type declaration, if any, comes before the root element, within the first bytes.
constexpr qsizetype prologLimit = 1 << 20;
constexpr qint64 prologChunk = 1 << 16;
constexpr qint64 minimumRead = 1 << 16;

struct ReadState
{
    bool faulted = false;
    ExportFault problem;
    // libxml2 reports a missing DTD when validation is on, as it must be for files that carry a
    // DOCTYPE. For a file without one that report is no fault, but whether the file has a DOCTYPE
    // is only known once the reader reaches it, so the report waits until the end.
    bool reportedNoDtd = false;
    ExportFault noDtdProblem;
    // Namespace faults, which libxml2 reads through, and the item each lies in until that item
    // has been read whole and can name its title and post ID.
    QList<ExportFault> readThrough;
    std::vector<const xmlNode*> readThroughItems;
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

// libxml2's streaming reader reports a file that ends inside an element as extra content at the
// end; its other parsers, xmllint's among them, name what was left open, which says more.
QString reasonFor(const xmlError& error)
{
    const auto* context = static_cast<const xmlParserCtxt*>(error.ctxt);
    if (error.code != XML_ERR_DOCUMENT_END || error.domain != XML_FROM_PARSER ||
        context == nullptr || context->node == nullptr || context->node->type != XML_ELEMENT_NODE)
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
            if (item != nullptr)
                placeInItem(fault, item, state.repair->markedAnything());
            if (isNamespaceFault(*error)) {
                state.readThrough.append(std::move(fault));
                state.readThroughItems.push_back(item);
            } else if (error->code == XML_DTD_NO_DTD) {
                state.reportedNoDtd = true;
                state.noDtdProblem = std::move(fault);
            } else {
                state.fail(std::move(fault));
            }
        },
        [&] { state.faulted = true; });
}

// The export's bytes on their way to libxml2: repaired, then through the guard against its
// quadratic paths.
struct GuardedInput
{
    QIODevice& device;
    exportrepair::ByteRepair repair;
    markupguard::ByteStreamGuard guard;
    QByteArray chunk;
    QByteArray repaired;
    QByteArray pending;
    qsizetype pendingStart = 0;
    bool ended = false;
    bool failed = false;
    std::exception_ptr failure;

    // Appends the next bytes to pending; false at the end of the input or on a failure.
    bool fill(qint64 length)
    {
        if (failed || ended)
            return false;
        // libxml2 asks for a few kilobytes at a time; each pass of the scanners below has a cost
        // of its own besides the bytes it reads.
        length = std::max(length, minimumRead);
        chunk.resize(length);
        const qint64 read = device.read(chunk.data(), length);
        if (read < 0) {
            failed = true;
            return false;
        }
        emptyForReuse(repaired);
        if (read == 0) {
            ended = true;
            repair.finish(repaired);
        } else {
            repair.feed(chunk.constData(), read, repaired);
        }
        if (!guard.feed(repaired.constData(), repaired.size(), pending))
            failed = true;
        return !failed;
    }
};

int readGuarded(GuardedInput& input, char* buffer, int length)
{
    while (input.pendingStart == input.pending.size()) {
        emptyForReuse(input.pending);
        input.pendingStart = 0;
        if (!input.fill(length))
            return input.failed ? -1 : 0;
    }
    const qsizetype count = std::min<qsizetype>(length, input.pending.size() - input.pendingStart);
    std::memcpy(buffer, input.pending.constData() + input.pendingStart, size_t(count));
    input.pendingStart += count;
    return int(count);
}

int readFromDevice(void* context, char* buffer, int length)
{
    auto& input = *static_cast<GuardedInput*>(context);
    int result = -1; // what libxml2 takes for a failed read
    libxml::guardCallback(
        input.failure, [&] { result = readGuarded(input, buffer, length); }, [] {});
    return result;
}

int closeNothing(void*)
{
    return 0;
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
    ItemWalk(xmlTextReader* reader, ReadState& state, exportrepair::ByteRepair& repair)
        : reader_(reader), state_(state), repair_(repair)
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
                onItem(itemFrom(item, repair_.markedAnything()));
                ++itemCount;
                status = xmlTextReaderNext(reader_);
                continue;
            } else if (type != XML_READER_TYPE_END_ELEMENT) {
                if (type == XML_READER_TYPE_ELEMENT && inChannel_ && !channelHanded_ &&
                    xmlTextReaderDepth(reader_) == 2)
                    readChannel();
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

    bool hasDoctype = false;
    ExportChannel channel;
    ChannelHandler onChannel_;

private:
    void readChannel()
    {
        if (const xmlNode* element = xmlTextReaderExpand(reader_))
            exporttree::readChannelChild(element, channel);
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

    void placeFaults(const xmlNode* node, bool item)
    {
        if (item) {
            // Faults come in file order, so those of earlier items are all placed already.
            std::vector<const xmlNode*>& items = state_.readThroughItems;
            for (size_t k = firstUnplaced_; k < items.size(); ++k) {
                if (items[k] == node) {
                    placeInItem(state_.readThrough[qsizetype(k)], node, repair_.markedAnything());
                    items[k] = nullptr;
                }
            }
            while (firstUnplaced_ < items.size() && items[firstUnplaced_] == nullptr)
                ++firstUnplaced_;
        }
        if (node == nullptr || repair_.markerCount() == markersSeen_)
            return;
        const qint64 markers = markersIn(node, item);
        QList<ExportFault>& faults = repair_.faults();
        for (qint64 k = markersSeen_; item && k < markersSeen_ + markers; ++k) {
            const qsizetype index = repair_.faultOfMarker(k);
            if (index < faults.size())
                placeInItem(faults[index], node, true);
        }
        markersSeen_ += markers;
    }

    xmlTextReader* reader_;
    ReadState& state_;
    exportrepair::ByteRepair& repair_;
    bool rootIsRss_ = false;
    bool inChannel_ = false;
    bool channelHanded_ = false;
    qint64 markersSeen_ = 0;
    size_t firstUnplaced_ = 0;
};

// Entities are substituted by the parser, inside its amplification limits, which only an export
// without a DOCTYPE, that cannot declare any, is spared along with the limits on the size of a
// text. External entities go to the refusing loader. Validation is on so that a file with a
// DOCTYPE is checked against what it declares.
int parserOptions(GuardedInput& input)
{
    std::optional<bool> doctype;
    while (!doctype && input.pending.size() < prologLimit && input.fill(prologChunk)) {
        // NUL bytes are passed over, so that UTF-16 and UCS-4 read the same.
        doctype = markupguard::declaresDoctype(
            QByteArray(input.pending).removeIf([](char byte) { return byte == 0; }));
    }
    int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_DTDVALID;
    if (!doctype.value_or(true))
        options |= XML_PARSE_HUGE;
    return options;
}

// The faults that are only known, or only known to be faults, once the reader has stopped.
void failAfterReading(ReadState& state, const markupguard::ByteStreamGuard& guard, int status,
                      bool hasDoctype, const libxml::RefusedResourceScope& refused)
{
    // The guard stops the input, and libxml2 then reports whatever the cut left; the guard's
    // own reason is the one that explains it.
    if (const auto& violation = guard.violation()) {
        state.faulted = true;
        state.problem = ExportFault();
        state.problem.reason = violation->reason;
    }
    if (status < 0)
        state.fail({0, 0, QStringLiteral("the file is not well-formed XML"), false, {}, {}});
    if (state.reportedNoDtd && hasDoctype)
        state.fail(state.noDtdProblem);
    if (refused.refusedAny())
        state.fail(
            {0,
             0,
             QStringLiteral("refused to load the external resource %1").arg(refused.firstRefused()),
             false,
             {},
             {}});
}

QList<ExportFault> inFileOrder(QList<ExportFault> faults)
{
    std::stable_sort(faults.begin(), faults.end(), [](const ExportFault& a, const ExportFault& b) {
        return std::tie(a.line, a.column) < std::tie(b.line, b.column);
    });
    return faults;
}

} // namespace

ExportReadResult readExport(QIODevice& device, const ItemHandler& onItem,
                            const ChannelHandler& onChannel)
{
    libxml::initialize();
    ExportReadResult result;
    ReadState state;
    libxml::RefusedResourceScope refused;
    GuardedInput input{device, {}, {}, {}, {}, {}, 0, false, false, {}};
    state.repair = &input.repair;
    state.guard = &input.guard;
    const int options = parserOptions(input);
    libxml::TextReader reader(
        xmlReaderForIO(readFromDevice, closeNothing, &input, nullptr, nullptr, options));
    if (!reader) {
        result.problem.reason = QStringLiteral("The XML reader could not be created");
        return result;
    }
    xmlTextReaderSetStructuredErrorHandler(reader.get(), onReaderError, &state);

    ItemWalk walk(reader.get(), state, input.repair);
    walk.onChannel_ = onChannel;
    const int status = walk.run(onItem, result.itemCount);
    if (!state.faulted)
        walk.handChannel();
    result.channel = walk.channel;
    libxml::rethrowKept(input.failure);
    libxml::rethrowKept(state.failure);
    failAfterReading(state, input.guard, status, walk.hasDoctype, refused);

    result.usable = !state.faulted;
    if (!result.usable)
        result.problem = state.problem;
    result.faults = inFileOrder(input.repair.faults() + state.readThrough);
    return result;
}
