#pragma once

// Plain libxml2 doing the least each stage of a check needs: the peers the benchmarks measure
// Postlint against.

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlreader.h>

#include <cstring>
#include <string>

namespace plainlibxml {

inline void ignoreError(void*, xmlErrorPtr) {}
inline void ignoreStart(void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**,
                        int, int, const xmlChar**)
{}
inline void ignoreEnd(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

// Whether the text is well-formed, by a SAX parse that builds nothing. Elements still go through
// libxml2's namespace-aware path, as the check's do.
inline bool isWellFormed(const char* text, int size)
{
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = ignoreStart;
    handler.endElementNs = ignoreEnd;
    handler.serror = ignoreError;
    xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(text, size);
    std::memcpy(context->sax, &handler, sizeof handler);
    xmlCtxtUseOptions(context, XML_PARSE_HUGE);
    xmlParseDocument(context);
    const bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);
    return wellFormed;
}

// Reads the export with libxml2's streaming reader and hands each `content:encoded` body, as
// its text, to onBody.
template <typename OnBody> bool forEachBody(const char* path, OnBody&& onBody)
{
    xmlTextReaderPtr reader = xmlReaderForFile(path, nullptr, XML_PARSE_HUGE);
    if (reader == nullptr)
        return false;
    xmlTextReaderSetStructuredErrorHandler(reader, ignoreError, nullptr);
    std::string body;
    bool inBody = false;
    while (xmlTextReaderRead(reader) == 1) {
        const int type = xmlTextReaderNodeType(reader);
        const auto* name = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader));
        const auto* uri = reinterpret_cast<const char*>(xmlTextReaderConstNamespaceUri(reader));
        const bool isBody = uri != nullptr && std::strcmp(name, "encoded") == 0 &&
                            std::strcmp(uri, "http://purl.org/rss/1.0/modules/content/") == 0;
        if (type == XML_READER_TYPE_ELEMENT && isBody) {
            inBody = true;
            body.clear();
        } else if (type == XML_READER_TYPE_END_ELEMENT && isBody) {
            inBody = false;
            onBody(std::move(body));
        } else if (inBody && (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA)) {
            body += reinterpret_cast<const char*>(xmlTextReaderConstValue(reader));
        }
    }
    xmlFreeTextReader(reader);
    return true;
}

} // namespace plainlibxml
