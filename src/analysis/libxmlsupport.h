#pragma once

#include "libxmlinit.h"

#include <QString>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <exception>
#include <memory>

namespace libxml {

struct ParserContextDeleter
{
    void operator()(xmlParserCtxt* context) const;
};
struct DocumentDeleter
{
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct TextReaderDeleter
{
    void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
struct StringDeleter
{
    void operator()(xmlChar* text) const { xmlFree(text); }
};

using ParserContext = std::unique_ptr<xmlParserCtxt, ParserContextDeleter>;
using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;
using TextReader = std::unique_ptr<xmlTextReader, TextReaderDeleter>;
using String = std::unique_ptr<xmlChar, StringDeleter>;

// Records, for the current thread and while it lives, every external resource that the loader
// refused. The refusing loader cannot report through the parser (libxml2 treats a missing
// resource as silently empty), so the export reader asks this scope afterwards.
class RefusedResourceScope
{
public:
    RefusedResourceScope();
    ~RefusedResourceScope();
    RefusedResourceScope(const RefusedResourceScope&) = delete;
    RefusedResourceScope& operator=(const RefusedResourceScope&) = delete;

    bool refusedAny() const { return !firstRefused_.isNull(); }
    const QString& firstRefused() const { return firstRefused_; }
    void record(const char* url);

private:
    RefusedResourceScope* outer_;
    QString firstRefused_;
};

// Keeps, for the current thread and while it lives, the first failed conversion of the input's
// encoding: libxml2 raises it to no parser, and the reader only stops.
class ConversionErrorScope
{
public:
    ConversionErrorScope();
    ~ConversionErrorScope();
    ConversionErrorScope(const ConversionErrorScope&) = delete;
    ConversionErrorScope& operator=(const ConversionErrorScope&) = delete;

    // libxml2's message, empty while none failed.
    const QString& firstFailure() const { return firstFailure_; }

private:
    static void record(void* scope, xmlErrorPtr error);

    xmlStructuredErrorFunc outerHandler_;
    void* outerContext_;
    QString firstFailure_;
};

// Whether a reported problem makes a document unusable: errors and fatal errors count, warnings
// do not, and neither do libxml2's warning codes that it raises at error level (an IRI as a
// namespace name, for one, is legal XML).
bool isFault(const xmlError& error);

// libxml2's message without the line break it ends with.
QString reasonOf(const xmlError& error);

// Runs the body of a libxml2 callback. No exception may cross libxml2's C frames: the first one
// is kept and stop() tells the parser to end, and the caller rethrows it once the parse has
// returned (rethrowKept). Out of memory among them: a run that cannot hold its results must end
// as a failure, never record a fault that is not in the post.
template <typename Body, typename Stop>
void guardCallback(std::exception_ptr& kept, Body&& body, Stop&& stop) noexcept
{
    try {
        body();
    } catch (...) {
        if (!kept)
            kept = std::current_exception();
        stop();
    }
}

inline void rethrowKept(const std::exception_ptr& kept)
{
    if (kept)
        std::rethrow_exception(kept);
}

} // namespace libxml
