#include "exportreader.h"

#include "libxmlsupport.h"
#include "markupguard.h"

#include <QFile>

#include <cstring>

namespace {

constexpr char contentModuleUri[] = "http://purl.org/rss/1.0/modules/content/";

struct ReadState
{
    bool faulted = false;
    QString problem;
    // libxml2 reports a missing DTD when validation is on, as it must be for files that carry a
    // DOCTYPE. For a file without one that report is no fault, but whether the file has a DOCTYPE
    // is only known once the reader reaches it, so the report waits until the end.
    bool reportedNoDtd = false;
    QString noDtdProblem;
    std::exception_ptr failure;

    void fail(QString why)
    {
        if (!faulted) {
            faulted = true;
            problem = std::move(why);
        }
    }
};

QString describe(const xmlError& error)
{
    return QStringLiteral("line %1: %2").arg(error.line).arg(libxml::reasonOf(error));
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
            if (error->code == XML_DTD_NO_DTD) {
                state.reportedNoDtd = true;
                state.noDtdProblem = describe(*error);
            } else {
                state.fail(describe(*error));
            }
        },
        [&] { state.faulted = true; });
}

// The export's bytes on their way to libxml2, through the guard against its quadratic paths.
struct GuardedInput
{
    QIODevice& device;
    markupguard::ByteStreamGuard guard;
    QByteArray chunk;
    QByteArray pending;
    qsizetype pendingStart = 0;
    std::exception_ptr failure;
};

int readGuarded(GuardedInput& input, char* buffer, int length)
{
    while (input.pendingStart == input.pending.size()) {
        input.pending.clear();
        input.pendingStart = 0;
        input.chunk.resize(length);
        const qint64 read = input.device.read(input.chunk.data(), length);
        if (read <= 0)
            return read < 0 ? -1 : 0;
        if (!input.guard.feed(input.chunk.constData(), read, input.pending))
            return -1;
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

bool hasName(const xmlNode* node, const char* name)
{
    return std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

bool isPlainElement(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && node->ns == nullptr && hasName(node, name);
}

bool isContentEncoded(const xmlNode* node)
{
    if (node->type != XML_ELEMENT_NODE || node->ns == nullptr || !hasName(node, "encoded"))
        return false;
    const auto* href = reinterpret_cast<const char*>(node->ns->href);
    const auto* prefix = reinterpret_cast<const char*>(node->ns->prefix);
    return (href != nullptr && std::strcmp(href, contentModuleUri) == 0) ||
           (prefix != nullptr && std::strcmp(prefix, "content") == 0);
}

// The element's character data, markup removed. The parser has already substituted entities
// (within its amplification limits), so the tree holds nothing left to expand.
QByteArray textOf(const xmlNode* element)
{
    const xmlNode* child = element->children;
    if (child == nullptr)
        return QByteArray();
    // The usual case, one CDATA section or text node, needs no intermediate copy.
    if (child->next == nullptr &&
        (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE))
        return QByteArray(reinterpret_cast<const char*>(child->content));
    // Long bodies arrive as many pieces (see markupguard.h). xmlNodeGetContent would grow its
    // buffer by exactly each piece, which costs quadratic time wherever realloc copies.
    QByteArray text;
    const xmlNode* node = child;
    while (node != nullptr) {
        if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) &&
            node->content != nullptr) {
            text.append(reinterpret_cast<const char*>(node->content));
        } else if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr)
            node = node->parent == element ? nullptr : node->parent;
        if (node != nullptr)
            node = node->next;
    }
    return text;
}

ExportItem itemFrom(const xmlNode* item)
{
    const xmlNode* title = nullptr;
    const xmlNode* body = nullptr;
    for (const xmlNode* child = item->children; child != nullptr; child = child->next) {
        if (title == nullptr && isPlainElement(child, "title"))
            title = child;
        else if (body == nullptr && isContentEncoded(child))
            body = child;
    }
    ExportItem result;
    if (title != nullptr)
        result.title = QString::fromUtf8(textOf(title));
    if (body != nullptr)
        result.bodyUtf8 = textOf(body);
    return result;
}

bool readerAtPlainElement(xmlTextReader* reader, const char* name)
{
    const auto* localName = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
    return xmlTextReaderConstNamespaceUri(reader) == nullptr && localName != nullptr &&
           std::strcmp(localName, name) == 0;
}

} // namespace

ExportReadResult readExport(const QString& path, const std::function<void(ExportItem&&)>& onItem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ExportReadResult result;
        result.problem = file.errorString();
        return result;
    }
    ExportReadResult result = readExport(static_cast<QIODevice&>(file), onItem);
    if (result.usable && file.error() != QFileDevice::NoError) {
        result.usable = false;
        result.problem = file.errorString();
    }
    return result;
}

ExportReadResult readExport(QIODevice& device, const std::function<void(ExportItem&&)>& onItem)
{
    libxml::initialize();
    ExportReadResult result;
    ReadState state;
    libxml::RefusedResourceScope refused;
    // Entities are substituted by the parser, inside its amplification limits (never lifted with
    // XML_PARSE_HUGE); external ones go to the refusing loader. Validation is on so that a file
    // with a DOCTYPE is checked against what it declares.
    const int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_DTDVALID;
    GuardedInput input{device, {}, {}, {}, 0, {}};
    libxml::TextReader reader(
        xmlReaderForIO(readFromDevice, closeNothing, &input, nullptr, nullptr, options));
    if (!reader) {
        result.problem = QStringLiteral("The XML reader could not be created");
        return result;
    }
    xmlTextReaderSetStructuredErrorHandler(reader.get(), onReaderError, &state);

    bool rootIsRss = false;
    bool inChannel = false;
    bool hasDoctype = false;
    int status = xmlTextReaderRead(reader.get());
    while (status == 1 && !state.faulted) {
        const int type = xmlTextReaderNodeType(reader.get());
        if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
            hasDoctype = true;
        } else if (type == XML_READER_TYPE_ELEMENT) {
            const int depth = xmlTextReaderDepth(reader.get());
            if (depth == 0) {
                rootIsRss = readerAtPlainElement(reader.get(), "rss");
            } else if (depth == 1) {
                inChannel = rootIsRss && readerAtPlainElement(reader.get(), "channel");
            } else if (depth == 2 && inChannel && readerAtPlainElement(reader.get(), "item")) {
                const xmlNode* item = xmlTextReaderExpand(reader.get());
                if (item == nullptr || state.faulted)
                    break;
                onItem(itemFrom(item));
                ++result.itemCount;
                status = xmlTextReaderNext(reader.get());
                continue;
            }
        }
        status = xmlTextReaderRead(reader.get());
    }
    libxml::rethrowKept(input.failure);
    libxml::rethrowKept(state.failure);

    // The guard stops the input, and libxml2 then reports whatever the cut left; the guard's
    // own reason is the one that explains it.
    if (const auto& violation = input.guard.violation()) {
        state.faulted = true;
        state.problem = violation->reason;
    }
    if (status < 0)
        state.fail(QStringLiteral("the file is not well-formed XML"));
    if (state.reportedNoDtd && hasDoctype)
        state.fail(state.noDtdProblem);
    if (refused.refusedAny())
        state.fail(
            QStringLiteral("refused to load the external resource %1").arg(refused.firstRefused()));

    result.usable = !state.faulted;
    result.problem = state.problem;
    return result;
}
