#pragma once

#include "postscan.h"

#include <QByteArrayView>

#include <cstddef>
#include <optional>

// The elements and attributes that the scan acts on, by their names in lower case; every other
// name is Other. A post names thousands of elements: each is told apart once, without a copy.
enum class HtmlElement : quint8
{
    Other,
    A,
    Area,
    Link,
    Img,
    Source,
    Video,
    Audio,
    Iframe,
    Script,
    Embed,
    Track,
    Input,
    Frame,
    Object,
    Form,
    Blockquote,
    Q,
    Del,
    Ins,
    Pre,
    Code,
    Style // the last
};
constexpr size_t htmlElementKinds = size_t(HtmlElement::Style) + 1;

enum class HtmlAttribute : quint8
{
    Other,
    Href,
    Src,
    Poster,
    Data,
    Action,
    Cite,
    MediaUrl, // a URL loaded as an image on any element: background, data-src and the like
    Srcset,
    DataSrcset,
    Style,
    Id,
    Name,
    Class,
    Alt // the last
};
constexpr size_t htmlAttributeKinds = size_t(HtmlAttribute::Alt) + 1;

// What a name, in any case, is to the scan.
HtmlElement htmlElementOf(QByteArrayView name);
HtmlAttribute htmlAttributeOf(QByteArrayView name);

// The one name of a kind, in lower case and in storage that lasts; none for Other and for
// MediaUrl, which stand for many.
QByteArrayView htmlElementName(HtmlElement element);
QByteArrayView htmlAttributeName(HtmlAttribute attribute);

// Inside pre, code, script or style, text is no post's text.
bool isRawText(HtmlElement element);

// Where an attribute holding one URL puts it, or nothing for an attribute that holds none.
std::optional<UrlPlace> urlPlaceOf(HtmlElement element, HtmlAttribute attribute);
