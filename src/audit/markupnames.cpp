#include "markupnames.h"

#include <array>
#include <iterator>
#include <string_view>

namespace {

template <typename Kind> struct Named
{
    std::string_view name;
    Kind kind;
};

constexpr Named<HtmlElement> elements[] = {
    {"a", HtmlElement::A},           {"area", HtmlElement::Area},
    {"link", HtmlElement::Link},     {"img", HtmlElement::Img},
    {"source", HtmlElement::Source}, {"video", HtmlElement::Video},
    {"audio", HtmlElement::Audio},   {"iframe", HtmlElement::Iframe},
    {"script", HtmlElement::Script}, {"embed", HtmlElement::Embed},
    {"track", HtmlElement::Track},   {"input", HtmlElement::Input},
    {"frame", HtmlElement::Frame},   {"object", HtmlElement::Object},
    {"form", HtmlElement::Form},     {"blockquote", HtmlElement::Blockquote},
    {"q", HtmlElement::Q},           {"del", HtmlElement::Del},
    {"ins", HtmlElement::Ins},       {"pre", HtmlElement::Pre},
    {"code", HtmlElement::Code},     {"style", HtmlElement::Style}};

constexpr Named<HtmlAttribute> attributes[] = {{"href", HtmlAttribute::Href},
                                               {"src", HtmlAttribute::Src},
                                               {"poster", HtmlAttribute::Poster},
                                               {"data", HtmlAttribute::Data},
                                               {"action", HtmlAttribute::Action},
                                               {"cite", HtmlAttribute::Cite},
                                               {"background", HtmlAttribute::MediaUrl},
                                               {"data-src", HtmlAttribute::MediaUrl},
                                               {"data-lazy-src", HtmlAttribute::MediaUrl},
                                               {"data-orig-file", HtmlAttribute::MediaUrl},
                                               {"data-large-file", HtmlAttribute::MediaUrl},
                                               {"data-medium-file", HtmlAttribute::MediaUrl},
                                               {"srcset", HtmlAttribute::Srcset},
                                               {"data-srcset", HtmlAttribute::DataSrcset},
                                               {"style", HtmlAttribute::Style},
                                               {"id", HtmlAttribute::Id},
                                               {"name", HtmlAttribute::Name},
                                               {"class", HtmlAttribute::Class},
                                               {"alt", HtmlAttribute::Alt}};

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether name, in any case, is lower, a name in lower case.
bool isCaseless(QByteArrayView name, std::string_view lower)
{
    if (name.size() != qsizetype(lower.size()))
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (lowered(name[i]) != lower[size_t(i)])
            return false;
    }
    return true;
}

// A table's names grouped by their length, so that a name is compared only with those as long:
// most of a post's names are of no kind, and would otherwise be compared with every one.
constexpr size_t longestName = 16; // data-medium-file

template <typename Kind, size_t Size> struct ByLength
{
    std::array<Named<Kind>, Size> names{};
    std::array<size_t, longestName + 2> starts{}; // names of length n: [starts[n], starts[n + 1])
};

template <typename Kind, size_t Size>
constexpr ByLength<Kind, Size> byLength(const Named<Kind> (&table)[Size])
{
    ByLength<Kind, Size> grouped;
    size_t at = 0;
    for (size_t length = 0; length < grouped.starts.size(); ++length) {
        grouped.starts[length] = at;
        for (const Named<Kind>& entry : table) {
            if (entry.name.size() == length)
                grouped.names[at++] = entry;
        }
    }
    return grouped;
}

constexpr auto elementsByLength = byLength(elements);
constexpr auto attributesByLength = byLength(attributes);
static_assert(elementsByLength.starts.back() == std::size(elements) &&
                  attributesByLength.starts.back() == std::size(attributes),
              "every name fits longestName");

template <typename Kind, size_t Size>
Kind kindOf(QByteArrayView name, const ByLength<Kind, Size>& table)
{
    if (name.size() > qsizetype(longestName))
        return Kind::Other;
    const auto length = size_t(name.size());
    for (size_t i = table.starts[length]; i < table.starts[length + 1]; ++i) {
        if (isCaseless(name, table.names[i].name))
            return table.names[i].kind;
    }
    return Kind::Other;
}

} // namespace

HtmlElement htmlElementOf(QByteArrayView name)
{
    return kindOf(name, elementsByLength);
}

HtmlAttribute htmlAttributeOf(QByteArrayView name)
{
    return kindOf(name, attributesByLength);
}

namespace {

template <typename Kind, size_t Size>
QByteArrayView nameOf(Kind kind, const Named<Kind> (&table)[Size])
{
    const Named<Kind>* found = nullptr;
    for (const Named<Kind>& entry : table) {
        if (entry.kind == kind) {
            // A kind of more than one name has none of its own.
            if (found != nullptr)
                return {};
            found = &entry;
        }
    }
    return found != nullptr ? QByteArrayView(found->name.data(), qsizetype(found->name.size()))
                            : QByteArrayView();
}

} // namespace

QByteArrayView htmlElementName(HtmlElement element)
{
    return nameOf(element, elements);
}

QByteArrayView htmlAttributeName(HtmlAttribute attribute)
{
    return nameOf(attribute, attributes);
}

bool isRawText(HtmlElement element)
{
    return element == HtmlElement::Pre || element == HtmlElement::Code ||
           element == HtmlElement::Script || element == HtmlElement::Style;
}

std::optional<UrlPlace> urlPlaceOf(HtmlElement element, HtmlAttribute attribute)
{
    switch (attribute) {
    case HtmlAttribute::Href:
        if (element == HtmlElement::A || element == HtmlElement::Area)
            return UrlPlace::Link;
        if (element == HtmlElement::Link)
            return UrlPlace::Loaded;
        break;
    case HtmlAttribute::Src:
        switch (element) {
        case HtmlElement::Img:
        case HtmlElement::Source:
        case HtmlElement::Video:
        case HtmlElement::Audio:
            return UrlPlace::Media;
        case HtmlElement::Iframe:
        case HtmlElement::Script:
        case HtmlElement::Embed:
        case HtmlElement::Track:
        case HtmlElement::Input:
        case HtmlElement::Frame:
            return UrlPlace::Loaded;
        default:
            break;
        }
        break;
    case HtmlAttribute::Poster:
        if (element == HtmlElement::Video)
            return UrlPlace::Media;
        break;
    case HtmlAttribute::Data:
        if (element == HtmlElement::Object)
            return UrlPlace::Loaded;
        break;
    case HtmlAttribute::Action:
        if (element == HtmlElement::Form)
            return UrlPlace::Reference;
        break;
    case HtmlAttribute::Cite:
        if (element == HtmlElement::Blockquote || element == HtmlElement::Q ||
            element == HtmlElement::Del || element == HtmlElement::Ins)
            return UrlPlace::Reference;
        break;
    case HtmlAttribute::MediaUrl:
        return UrlPlace::Media;
    default:
        break;
    }
    return std::nullopt;
}
