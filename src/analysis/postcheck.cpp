#include "postcheck.h"

#include "errornarrowing.h"
#include "libxmlsupport.h"
#include "linkfinder.h"
#include "markupguard.h"
#include "resulttables.h"
#include "reusedbuffer.h"
#include "textpositions.h"

#include <libxml/parserInternals.h>
#include <libxml/SAX2.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

// The size limits that libxml2 lifts with XML_PARSE_HUGE guard against entities a document
// declares, which a body cannot; its nesting stays bounded as libxml2 bounds it by default.
constexpr int depthLimit = 256;

struct Fault
{
    int code = 0;
    QString reason;
    int line = 0;
    int column = 0;
};

// Room for the names and attributes handed to a further reading, kept from post to post: a
// reading wants them for every element, and growing them anew for each post costs more than the
// reading's own work on small posts.
struct EventRoom
{
    QByteArray name;
    std::vector<QByteArray> prefixedNames;
    std::vector<MarkupAttribute> attributes;

    // An element of a million attributes must not keep its room after its post.
    void trim()
    {
        constexpr size_t kept = 1024;
        if (attributes.capacity() > kept || prefixedNames.size() > kept) {
            attributes = {};
            prefixedNames = {};
        }
    }
};

// What the SAX callbacks build; reached through the parser context's _private pointer.
struct PostParse
{
    PostParse(AttributeNames& names, EventRoom& room) : links(names), room(room) {}

    int depth = 0;
    LinkFinder links;
    bool findLinks = true;
    bool faulted = false;
    Fault fault;
    std::exception_ptr failure;
    // A further reading that follows the parse, and what it needs: where the body starts in the
    // wrapped text, and room for the names and attributes handed to it.
    MarkupEvents* events = nullptr;
    qint64 bodyStart = 0;
    EventRoom& room;
};

PostParse& parseOf(void* context)
{
    return *static_cast<PostParse*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

void stopWithFault(void* context, Fault fault)
{
    PostParse& parse = parseOf(context);
    if (!parse.faulted) {
        parse.faulted = true;
        parse.fault = std::move(fault);
    }
    // Only the first fault is reported; whatever follows is its consequence. Stopping also
    // spares the parser the rest of a hostile body.
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

// Runs a callback's body; what it throws ends the parse and is rethrown once the parse returns.
template <typename Body> void guarded(void* context, Body&& body)
{
    libxml::guardCallback(parseOf(context).failure, std::forward<Body>(body),
                          [context] { xmlStopParser(static_cast<xmlParserCtxtPtr>(context)); });
}

// The events a further reading follows: the body's own, not the wrapper's, and none after the
// first fault, from which on the reading is dropped anyway.
MarkupEvents* eventsOf(void* context)
{
    const PostParse& parse = parseOf(context);
    return parse.faulted || parse.depth < 1 ? nullptr : parse.events;
}

qint64 bodyOffsetOf(void* context)
{
    const xmlParserInputPtr input = static_cast<xmlParserCtxtPtr>(context)->input;
    return qint64(input->consumed) + (input->cur - input->base) - parseOf(context).bodyStart;
}

QByteArrayView viewOf(const xmlChar* text)
{
    return text == nullptr ? QByteArrayView() : QByteArrayView(reinterpret_cast<const char*>(text));
}

// A name as written, "prefix:name" when it has a prefix, as a lenient HTML reading sees it.
QByteArrayView qualifiedName(const xmlChar* prefix, const xmlChar* localName, QByteArray& room)
{
    if (prefix == nullptr)
        return viewOf(localName);
    room = viewOf(prefix).toByteArray();
    room.append(':').append(viewOf(localName));
    return room;
}

void forwardStart(void* context, PostParse& parse, const xmlChar* prefix, const xmlChar* localName,
                  int attributeCount, const xmlChar** attributes)
{
    EventRoom& room = parse.room;
    room.attributes.clear();
    if (room.prefixedNames.size() < size_t(attributeCount))
        room.prefixedNames.resize(size_t(attributeCount));
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar** attribute = attributes + 5 * i;
        const auto* value = reinterpret_cast<const char*>(attribute[3]);
        const auto* end = reinterpret_cast<const char*>(attribute[4]);
        room.attributes.push_back(
            {qualifiedName(attribute[1], attribute[0], room.prefixedNames[size_t(i)]),
             QByteArrayView(value, end - value)});
    }
    parse.events->startElement(qualifiedName(prefix, localName, room.name), room.attributes,
                               bodyOffsetOf(context));
}

void onError(void* context, xmlErrorPtr error)
{
    if (error == nullptr || !libxml::isFault(*error) || parseOf(context).faulted)
        return;
    guarded(context, [&] {
        // libxml2 itself ran out of memory: that is no fault of the post.
        if (error->code == XML_ERR_NO_MEMORY)
            throw std::bad_alloc();
        stopWithFault(context, {error->code, libxml::reasonOf(*error), error->line, error->int2});
    });
}

void onStartElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                    const xmlChar* namespaceUri, int /*namespaceCount*/,
                    const xmlChar** /*namespaces*/, int attributeCount, int /*defaultedCount*/,
                    const xmlChar** attributes)
{
    PostParse& parse = parseOf(context);
    ++parse.depth;
    if (parse.faulted)
        return;
    guarded(context, [&] {
        if (parse.depth > depthLimit) {
            const auto* input = static_cast<xmlParserCtxtPtr>(context)->input;
            stopWithFault(context, {XML_ERR_INTERNAL_ERROR,
                                    QStringLiteral("Excessive depth in document: %1 use "
                                                   "XML_PARSE_HUGE option")
                                        .arg(depthLimit),
                                    input->line, input->col});
            return;
        }
        if (parse.findLinks)
            parse.links.startElement(parse.depth, localName, namespaceUri, attributeCount,
                                     attributes);
        if (parse.depth > 1 && eventsOf(context) != nullptr)
            forwardStart(context, parse, prefix, localName, attributeCount, attributes);
    });
}

// Without it libxml2 leaves the comment's start out of its reason for a double hyphen.
void onComment(void* context, const xmlChar* content)
{
    if (MarkupEvents* events = eventsOf(context))
        guarded(context, [&] { events->comment(viewOf(content), bodyOffsetOf(context)); });
}

void onText(void* context, const xmlChar* text, int length)
{
    if (MarkupEvents* events = eventsOf(context))
        guarded(context,
                [&] { events->text(QByteArrayView(reinterpret_cast<const char*>(text), length)); });
}

void onEndElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar*)
{
    PostParse& parse = parseOf(context);
    guarded(context, [&] {
        if (parse.findLinks)
            parse.links.endElement(parse.depth);
        if (MarkupEvents* events = parse.depth > 1 ? eventsOf(context) : nullptr)
            events->endElement(qualifiedName(prefix, localName, parse.room.name),
                               bodyOffsetOf(context));
    });
    --parse.depth;
}

xmlSAXHandler postHandler()
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    xmlSAXVersion(&handler, 2);
    // Only the elements matter: no tree is built and character data is skipped.
    handler.startElementNs = onStartElement;
    handler.endElementNs = onEndElement;
    handler.characters = nullptr;
    handler.ignorableWhitespace = nullptr;
    handler.cdataBlock = nullptr;
    handler.comment = onComment;
    handler.processingInstruction = nullptr;
    handler.reference = nullptr;
    handler.serror = onError;
    // Nor a document: creating one takes libxml2's global dictionary lock, for nothing here.
    handler.startDocument = nullptr;
    handler.endDocument = nullptr;
    return handler;
}

// The same for a parse that a further reading follows, which needs the text too.
xmlSAXHandler handlerWithText()
{
    xmlSAXHandler handler = postHandler();
    handler.characters = onText;
    handler.ignorableWhitespace = onText;
    // A CDATA section stays out of it, as in a lenient HTML reading of the same body (libxml2
    // would hand it on as text without a handler of its own).
    handler.cdataBlock = [](void*, const xmlChar*, int) {};
    return handler;
}

void wrap(QByteArray& text, const QByteArray& bodyUtf8, const QByteArray& tagUtf8)
{
    emptyForReuse(text);
    text.reserve(qsizetype(sizeof wrapperDeclaration) + bodyUtf8.size() + 2 * tagUtf8.size() + 5);
    text.append(wrapperDeclaration);
    text.append('<').append(tagUtf8).append('>');
    text.append(bodyUtf8);
    text.append("</").append(tagUtf8).append('>');
}

// The fault's byte offset in the body, the wrapped text less what comes before the body.
qint64 faultInBody(const QByteArray& text, qsizetype bodySize, const Fault& fault)
{
    const qsizetype offset = textpositions::byteOffset(text, fault.line, fault.column);
    if (offset < 0)
        return -1;
    const qsizetype bodyStart = text.size() - bodySize - (text.size() - text.lastIndexOf("</"));
    return std::clamp<qint64>(offset - bodyStart, 0, bodySize);
}

} // namespace

// One parser context for post after post. Creating a context takes libxml2's global dictionary
// lock, and threads that check many small posts at once would spend their time waiting for it.
class PostChecker::ReusedParser
{
public:
    // The context, reset and reading text; its dictionary of names starts anew now and then, so
    // that endless distinct names cannot grow it without end.
    xmlParserCtxt* contextFor(const QByteArray& text, PostParse& parse)
    {
        const bool withText = parse.events != nullptr;
        if (!context_ || xmlDictSize(context_->dict) > dictionaryLimit) {
            context_.reset(xmlNewParserCtxt());
            if (!context_)
                throw std::bad_alloc();
            handlerWithText_ = !withText;
        }
        // Text is skipped unless a reading wants it: it is most of what a parse meets.
        if (handlerWithText_ != withText) {
            static const xmlSAXHandler plain = postHandler();
            static const xmlSAXHandler textual = handlerWithText();
            std::memcpy(context_->sax, withText ? &textual : &plain, sizeof plain);
            handlerWithText_ = withText;
        }
        xmlCtxtReset(context_.get());
        xmlParserInputBuffer* buffer = xmlParserInputBufferCreateMem(
            text.constData(), int(text.size()), XML_CHAR_ENCODING_NONE);
        xmlParserInput* input =
            buffer != nullptr ? xmlNewIOInputStream(context_.get(), buffer, XML_CHAR_ENCODING_NONE)
                              : nullptr;
        if (input == nullptr) {
            if (buffer != nullptr)
                xmlFreeParserInputBuffer(buffer);
            throw std::bad_alloc();
        }
        if (inputPush(context_.get(), input) < 0)
            throw std::bad_alloc(); // inputPush frees the input when it fails
        context_->_private = &parse;
        return context_.get();
    }

    EventRoom& eventRoom() { return eventRoom_; }

private:
    static constexpr int dictionaryLimit = 100000;
    libxml::ParserContext context_;
    bool handlerWithText_ = false;
    EventRoom eventRoom_;
};

PostChecker::PostChecker(const QString& dummyTag)
    : tagUtf8_(dummyTag.toUtf8()), parser_(std::make_unique<ReusedParser>())
{
    libxml::initialize();
}

PostChecker::~PostChecker() = default;

PostReport checkPostBody(const QByteArray& bodyUtf8, const QString& dummyTag)
{
    return PostChecker(dummyTag).check(bodyUtf8);
}

PostReport PostChecker::check(const QByteArray& bodyUtf8)
{
    return parseBody(bodyUtf8, nullptr);
}

PostReport PostChecker::check(const QByteArray& bodyUtf8, MarkupEvents& events)
{
    return parseBody(bodyUtf8, &events, false);
}

PostReport PostChecker::check(const ExportItem& item, BodyReading* reading)
{
    MarkupEvents* events = reading != nullptr ? reading->begin(item) : nullptr;
    PostReport report = parseBody(item.bodyUtf8, events);
    if (reading != nullptr)
        report.reading = reading->end(report.errorCode == 0);
    return report;
}

PostReport PostChecker::parseBody(const QByteArray& bodyUtf8, MarkupEvents* events, bool findLinks)
{
    PostReport report;
    wrap(wrapped_, bodyUtf8, tagUtf8_);
    const QByteArray& text = wrapped_;

    // A tag that would keep libxml2 busy for minutes (see markupguard.h) is replaced by a
    // character that XML forbids, and nothing after it is parsed: a fault before the tag is still
    // reported as libxml2 finds it, and otherwise the forbidden character stands for the limit.
    const std::optional<markupguard::Violation> violation =
        markupguard::firstViolation(text.constData(), text.size());
    const QByteArray parsed = violation ? text.left(violation->offset) + '\x01' : text;

    PostParse parse(names_, parser_->eventRoom());
    parse.events = events;
    parse.findLinks = findLinks;
    parse.bodyStart = qsizetype(std::strlen(wrapperDeclaration)) + tagUtf8_.size() + 2;
    if (parsed.size() > INT_MAX) {
        report.errorCode = XML_ERR_NO_MEMORY;
        report.reason = QStringLiteral("The parser could not be created for this post");
        return report;
    }
    xmlParserCtxt* context = parser_->contextFor(parsed, parse);
    // Entities are replaced by the parser so that attribute values arrive with their references
    // resolved; a body cannot declare entities of its own, so nothing can be amplified, and a
    // text or attribute value is judged by XML's rules whatever its size.
    xmlCtxtUseOptions(context, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_HUGE);
    xmlParseDocument(context);
    parse.room.trim();
    libxml::rethrowKept(parse.failure);

    if (!parse.faulted && !context->wellFormed) {
        // A fault that bypassed the handler; fall back to what the context kept.
        const xmlError* last = xmlCtxtGetLastError(context);
        parse.faulted = true;
        if (last != nullptr && last->code != 0)
            parse.fault = {last->code, libxml::reasonOf(*last), last->line, last->int2};
        else
            parse.fault = {XML_ERR_INTERNAL_ERROR, QStringLiteral("The post could not be parsed"),
                           0, 0};
    }

    if (violation && parse.faulted && parse.fault.code == XML_ERR_INVALID_CHAR) {
        const auto [line, column] = textpositions::lineAndColumn(text, violation->offset);
        // libxml2's own resource limits (nesting depth among them) come as internal errors.
        if (parse.fault.line == line && parse.fault.column == column)
            parse.fault = {XML_ERR_INTERNAL_ERROR, violation->reason, line, column};
    }

    if (parse.faulted) {
        report.errorCode = parse.fault.code;
        report.reason = parse.fault.reason;
        report.line = parse.fault.line;
        report.sourceUtf8 = textpositions::lineOf(text, parse.fault.line);
        report.pos = textpositions::utf16Position(report.sourceUtf8, parse.fault.column);
        report.bodyOffset = faultInBody(text, bodyUtf8.size(), parse.fault);
    } else {
        report.links = parse.links.takeLinks();
    }
    return report;
}

ErrorRow errorRowOf(const QString& title, const CellText& body, const PostReport& report)
{
    // Most posts parse: their zeros share one static text instead of three allocations each.
    const auto number = [](int value) {
        return value == 0 ? QStringLiteral("0") : QString::number(value);
    };
    ErrorRow row;
    row.cells[ErrorTitleColumn] = title;
    row.cells[ErrorContentColumn] = body;
    row.cells[ErrorCodeColumn] = number(report.errorCode);
    row.cells[ErrorReasonColumn] = report.reason;
    row.cells[ErrorLineColumn] = number(report.line);
    row.cells[ErrorPosColumn] = number(report.pos);
    if (!report.sourceUtf8.isEmpty()) {
        row.cells[ErrorSourceColumn] = CellText::fromUtf8(report.sourceUtf8);
        row.cells[ErrorNarrowedColumn] =
            narrowAround(QString::fromUtf8(report.sourceUtf8), report.pos);
    }
    row.numbers = {report.errorCode, report.line, report.pos, report.bodyOffset};
    return row;
}

void recordPost(ResultTables& tables, const QString& title, const CellText& body,
                const PostReport& report)
{
    tables.appendErrorRow(errorRowOf(title, body, report));
    tables.appendLinks(title, body, report.links);
}
