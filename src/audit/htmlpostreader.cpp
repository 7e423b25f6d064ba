#include "postscan.h"
#include "postscanner.h"

#include "analysis/libxmlsupport.h"

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

namespace {

// What a parse's callbacks reach through the context's _private pointer.
struct HtmlParse
{
    PostScanner* scanner = nullptr;
    std::vector<ScanAttribute> attributes;
    std::exception_ptr failure;
    // Reading on from the middle of a body, the parser reads first the start tags of the
    // elements open there, whose events were delivered already, then the rest of the body:
    // its offsets are the body's less shift, and those before prefix are the repeated tags'.
    qint64 prefix = 0;
    qint64 shift = 0;
    // Where the markup, read on from a fault, is back at the body's top level, between two tags:
    // what follows may be well-formed again. -1 while it is not, or not asked for.
    bool stopAtTopLevel = false;
    qint64 topLevel = -1;
};

HtmlParse& parseOf(void* context)
{
    return *static_cast<HtmlParse*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

template <typename Body> void guarded(void* context, Body&& body)
{
    libxml::guardCallback(parseOf(context).failure, std::forward<Body>(body),
                          [context] { xmlStopParser(static_cast<xmlParserCtxtPtr>(context)); });
}

// Where the parser stands in the body. xmlByteConsumed() would be libxml2's answer, but 2.9
// miscounts once it has converted the input in pieces; the body is UTF-8 and read as UTF-8, so
// the bytes it has read are the body's own.
qint64 offsetOf(void* context)
{
    const xmlParserInputPtr input = static_cast<xmlParserCtxtPtr>(context)->input;
    return input == nullptr ? 0 : qint64(input->consumed) + (input->cur - input->base);
}

QByteArrayView viewOf(const xmlChar* text)
{
    return text == nullptr ? QByteArrayView() : QByteArrayView(reinterpret_cast<const char*>(text));
}

// The offset in the body of the event that the parser has just read, or -1 for one of the
// repeated tags.
qint64 bodyOffsetOf(void* context)
{
    const HtmlParse& parse = parseOf(context);
    const qint64 offset = offsetOf(context);
    return offset < parse.prefix ? -1 : offset + parse.shift;
}

void onStartElement(void* context, const xmlChar* name, const xmlChar** attributes)
{
    guarded(context, [&] {
        HtmlParse& parse = parseOf(context);
        const qint64 offset = bodyOffsetOf(context);
        if (offset < 0)
            return;
        parse.attributes.clear();
        for (int i = 0; attributes != nullptr && attributes[i] != nullptr; i += 2)
            parse.attributes.push_back(
                {viewOf(attributes[i]), viewOf(attributes[i + 1]), attributes[i + 1] != nullptr});
        parse.scanner->startElement(viewOf(name), parse.attributes, offset);
    });
}

void onEndElement(void* context, const xmlChar* name)
{
    guarded(context, [&] {
        const qint64 offset = bodyOffsetOf(context);
        if (offset < 0)
            return;
        HtmlParse& parse = parseOf(context);
        parse.scanner->endElement(viewOf(name), offset);
        // The element ending now is the last one open (libxml2 pops it after this call), and the
        // parser stands between tags: after an end tag, or before the start tag that closes the
        // element, which libxml2 looks at before reading it.
        auto* ctxt = static_cast<xmlParserCtxtPtr>(context);
        const xmlChar* at = ctxt->input->cur;
        if (parse.stopAtTopLevel && ctxt->nameNr == 1 &&
            ((at > ctxt->input->base && at[-1] == '>') || at[0] == '<')) {
            parse.topLevel = offset;
            xmlStopParser(ctxt);
        }
    });
}

void onText(void* context, const xmlChar* text, int length)
{
    guarded(context, [&] {
        parseOf(context).scanner->text(QByteArrayView(reinterpret_cast<const char*>(text), length));
    });
}

void onComment(void* context, const xmlChar* content)
{
    guarded(context, [&] {
        if (const qint64 offset = bodyOffsetOf(context); offset >= 0)
            parseOf(context).scanner->comment(viewOf(content), offset);
    });
}

// Problems of the markup are what a lenient reading reads through; none is printed.
void onProblem(void*, xmlErrorPtr) {}

xmlSAXHandler htmlHandler()
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.startElement = onStartElement;
    handler.endElement = onEndElement;
    handler.characters = onText;
    handler.ignorableWhitespace = onText;
    // The parser hands the content of script and style elements over as a CDATA block: no text
    // of the post, and not looked at.
    handler.cdataBlock = [](void*, const xmlChar*, int) {};
    handler.comment = onComment;
    handler.serror = onProblem;
    handler.initialized = XML_SAX2_MAGIC;
    return handler;
}

// No implied html or body elements, no default DTD, the body's bytes taken as UTF-8 whatever a
// `meta` in it claims, nothing fetched and nothing said about the markup's faults.
constexpr int htmlOptions = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                            HTML_PARSE_NOWARNING | HTML_PARSE_NOIMPLIED | HTML_PARSE_NODEFDTD |
                            HTML_PARSE_IGNORE_ENC;

} // namespace

class HtmlPostReader::Parser
{
public:
    libxml::ParserContext context{htmlNewParserCtxt()};
};

HtmlPostReader::HtmlPostReader() : parser_(std::make_unique<Parser>())
{
    libxml::initialize();
    if (!parser_->context)
        throw std::bad_alloc();
}

HtmlPostReader::~HtmlPostReader() = default;

PostScan HtmlPostReader::scan(const QByteArray& bodyUtf8)
{
    PostScan result;
    PostScanner scanner(bodyUtf8, result);
    readOn(bodyUtf8, scanner, false);
    scanner.finish();
    return result;
}

qint64 HtmlPostReader::readOn(const QByteArray& bodyUtf8, PostScanner& scanner, bool stopAtTopLevel)
{
    const PostScanner::ResumePoint point = scanner.resumePoint();
    HtmlParse parse;
    parse.scanner = &scanner;
    QByteArray text;
    QByteArrayView read = QByteArrayView(bodyUtf8).sliced(point.offset);
    if (!point.openElements.empty()) {
        for (const QByteArrayView name : point.openElements)
            text.append('<').append(name).append('>');
        parse.prefix = text.size();
        text.append(read);
        read = text;
    }
    parse.shift = point.offset - parse.prefix;
    parse.stopAtTopLevel = stopAtTopLevel;
    xmlParserCtxt* context = parser_->context.get();
    const xmlSAXHandler handler = htmlHandler();
    std::memcpy(context->sax, &handler, sizeof handler);
    context->_private = &parse;
    // libxml2 takes the size as an int; a body past that is read as far as it reaches.
    const int size = int(qMin<qsizetype>(read.size(), INT_MAX));
    // An empty body gives libxml2 nothing to read, and nothing to find.
    if (size > 0) {
        libxml::Document document(
            htmlCtxtReadMemory(context, read.data(), size, nullptr, "UTF-8", htmlOptions));
    }
    context->_private = nullptr;
    libxml::rethrowKept(parse.failure);
    if (parse.topLevel < 0)
        return bodyUtf8.size();
    scanner.atTopLevel();
    return parse.topLevel;
}
