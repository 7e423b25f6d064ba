#include "libxmlsupport.h"

#include <mutex>

namespace libxml {

namespace {

// The innermost scope of the current thread. This, and the loader it serves, is the one piece of
// process-wide state: libxml2 offers no per-parse hook for external entities.
thread_local RefusedResourceScope* currentScope = nullptr;

xmlParserInputPtr refuseExternalResource(const char* url, const char* /*publicId*/,
                                         xmlParserCtxtPtr /*context*/)
{
    if (currentScope != nullptr)
        currentScope->record(url);
    return nullptr;
}

// What libxml2 reports outside any parser's own handler (a failed conversion of the input's
// encoding, say) goes to its generic handler, which prints on standard error; the parse that
// fails says so itself, in the programs' own words.
void ignoreGenericError(void* /*context*/, const char* /*format*/, ...) {}

} // namespace

void ParserContextDeleter::operator()(xmlParserCtxt* context) const
{
    // A SAX parse may still have started a document the context does not free itself.
    if (context->myDoc != nullptr)
        xmlFreeDoc(context->myDoc);
    xmlFreeParserCtxt(context);
}

void initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalResource);
        // This thread's handler, and the one that each thread started later begins with.
        xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
        xmlThrDefSetGenericErrorFunc(nullptr, ignoreGenericError);
    });
}

RefusedResourceScope::RefusedResourceScope() : outer_(currentScope)
{
    currentScope = this;
}

RefusedResourceScope::~RefusedResourceScope()
{
    currentScope = outer_;
}

void RefusedResourceScope::record(const char* url)
{
    if (firstRefused_.isNull())
        firstRefused_ = url != nullptr ? QString::fromUtf8(url) : QStringLiteral("");
}

ConversionErrorScope::ConversionErrorScope()
    : outerHandler_(xmlStructuredError), outerContext_(xmlStructuredErrorContext)
{
    xmlSetStructuredErrorFunc(this, record);
}

ConversionErrorScope::~ConversionErrorScope()
{
    xmlSetStructuredErrorFunc(outerContext_, outerHandler_);
}

void ConversionErrorScope::record(void* scope, xmlErrorPtr error)
{
    auto& self = *static_cast<ConversionErrorScope*>(scope);
    if (error != nullptr && error->domain == XML_FROM_I18N && self.firstFailure_.isEmpty())
        self.firstFailure_ = reasonOf(*error);
}

bool isFault(const xmlError& error)
{
    if (error.level < XML_ERR_ERROR)
        return false;
    switch (error.code) {
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_WAR_CATALOG_PI:
    case XML_WAR_UNKNOWN_VERSION:
    case XML_WAR_LANG_VALUE:
    case XML_WAR_NS_URI:
    case XML_WAR_NS_URI_RELATIVE:
    case XML_WAR_SPACE_VALUE:
    case XML_WAR_NS_COLUMN:
    case XML_WAR_ENTITY_REDEFINED:
        return false;
    default:
        return true;
    }
}

QString reasonOf(const xmlError& error)
{
    if (error.message == nullptr)
        return QString();
    QString reason = QString::fromUtf8(error.message);
    qsizetype end = reason.size();
    while (end > 0 && reason.at(end - 1).isSpace())
        --end;
    reason.truncate(end);
    return reason;
}

} // namespace libxml
