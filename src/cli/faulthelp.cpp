#include "faulthelp.h"

#include <array>

namespace {

struct CodeHelp
{
    int code;
    // What the code stands for, in the words of libxml2's messages where they have some.
    const char* description;
    const char* help;
};

constexpr const char* charRefHelp =
    "A numeric character reference that is cut short or malformed, such as `&#12` without its "
    "`;`, `&#a;` or `&#xZZ;`, often left by an editor or a search-and-replace. Complete it "
    "(`&#160;`) or write the character itself.";

// The codes that WordPress posts give, from what real exports hold.
constexpr std::array<CodeHelp, 27> codeHelp = {{
    {5, "Extra content at the end of the document",
     "The post contains the wrapper's own closing tag (`</dummy>` unless another name was "
     "chosen), so what follows it lies outside the wrapped text. Check again with a wrapper "
     "name that the post does not use (--tag, or Dummy XML Tag in the window)."},
    {6, "CharRef: invalid hexadecimal value", charRefHelp},
    {7, "CharRef: invalid decimal value", charRefHelp},
    {8, "CharRef: invalid value", charRefHelp},
    {9, "Invalid character",
     "A character that XML does not allow: a control character pasted from Word or another "
     "program (form feed, vertical tab, anything below U+0020 but tab and line breaks), a "
     "reference to one (`&#0;`, `&#12;`), or a reference to half of a surrogate pair "
     "(`&#xD83D;`) where a plugin wrote an emoji as UTF-16. Delete the character, or write the "
     "one meant instead (the emoji itself, or `&#x1F600;`)."},
    {23, "EntityRef: expecting ';'",
     "A bare `&` followed by a name, most often in a link's query string (`?a=1&b=2`) or in "
     "text such as `R&D` or `&amp` without its `;`. Write `&amp;` (`?a=1&amp;b=2`): browsers "
     "read it the same."},
    {26, "Entity not defined",
     "A named HTML entity that XML does not know: XML defines only `&amp;`, `&lt;`, `&gt;`, "
     "`&quot;` and `&apos;`, so `&nbsp;`, `&copy;`, `&mdash;`, `&hellip;` and the like, as the "
     "visual editor writes them or as they come pasted from web pages, are undefined. Write the "
     "numeric reference instead (`&nbsp;` becomes `&#160;`, `&copy;` `&#169;`, `&mdash;` "
     "`&#8212;`) or the character itself."},
    {38, "Unescaped '<' not allowed in attributes values",
     "A `<` inside an attribute value (a title or alt text such as `a<b`, a script in "
     "`onclick`), or a value whose closing quote is missing, so that it runs on into the next "
     "tag. Write `&lt;` in the value, or add the missing quote."},
    {39, "AttValue: \" or ' expected",
     "An attribute value without quotes, as HTML allows (`<img width=300>`, `<td "
     "align=center>`), common in old posts and in markup pasted from other sites. Quote every "
     "value: `width=\"300\"`."},
    {41, "Attribute without value",
     "An attribute without a value, as HTML allows for flags (`<video controls>`, `<iframe "
     "allowfullscreen>`, `<input checked>`), or one whose `=` is missing (`href\"x\"`). Give it a "
     "value: `controls=\"controls\"`, `allowfullscreen=\"\"`."},
    {42, "Attribute redefined",
     "The same attribute twice on one element (`<img alt=\"\" alt=\"Photo\">`), often after an "
     "editor or a plugin added one that was already there. Keep one of them."},
    {45, "Comment not terminated",
     "A comment opened with `<!--` and never closed with `-->`, often a block comment or "
     "`<!--more-->` cut by an edit. Close it, or remove the stray `<!--`."},
    {46, "xmlParsePI : no target name",
     "A `<?` meant as text, with no name after it. Write `&lt;?`."},
    {47, "ParsePI: PI never end",
     "A processing instruction that never ends: most often PHP pasted into the post (`<?php`) "
     "without its `?>`, which WordPress never runs anyway. To show the code, write `&lt;?php` in a "
     "code block; otherwise remove it."},
    {62, "Sequence ']]>' not allowed in content",
     "The text holds `]]>`, which XML allows only at the end of a CDATA section: code samples "
     "such as `a[b[0]]>1`. Write `]]&gt;`."},
    {63, "CData section not finished",
     "A `<![CDATA[` section in the post that is never closed, often in a script or code sample "
     "pasted with its own. Close it with `]]>`, or remove the `<![CDATA[`."},
    {64, "XML declaration allowed only at the start of the document",
     "An XML declaration (`<?xml …?>`) inside the post, usually that of an SVG image or of "
     "markup pasted from a file. Remove the declaration; what follows it can stay."},
    {65, "attributes construct error",
     "Two attributes without a blank between them (`href=\"a\"title=\"b\"`), a stray quote, or "
     "a tag cut off after an attribute. Put a blank between the attributes and remove what does "
     "not belong."},
    {68, "Name required",
     "A name is missing where XML needs one: a `<` that starts no tag (`a < b`, `<3`, `<=`, "
     "comparisons in scripts and code samples), a bare `&` before a blank (`Tom & Jerry`), or a "
     "stray character where an attribute's name should be. Write `&lt;` and `&amp;` in text, and "
     "escape them in code samples too."},
    {73, "expected '>'",
     "A tag that does not end with `>` where it must: an end tag with attributes (`</p "
     "class=\"x\">`) or a blank after `</`, or a tag cut off at the end of the post (`</p`). "
     "Write the end tag as `</p>`."},
    {76, "Opening and ending tag mismatch",
     "An element closed in the wrong place or never closed: an empty HTML element without its "
     "slash (`<br>`, `<img …>`, `<hr>` become `<br/>`, `<img …/>`, `<hr/>`), a `<p>` or `<li>` "
     "left open as HTML allows, or elements that overlap (`<b><i>…</b></i>`). Close every "
     "element, the inner ones first. Where the wrapper (`dummy`) is named second, the element "
     "named first was left open; where it is named first, the end tag named second has no start "
     "tag."},
    {80, "Comment must not contain '--' (double-hyphen)",
     "A comment with `--` inside it (`<!-- ---- -->`, or commented-out code), which XML does not "
     "allow. Remove the inner hyphens, or the comment."},
    {200, "Namespace declaration not allowed",
     "A namespace declaration that XML does not allow, such as `xmlns:x=\"\"` or one that "
     "misuses the `xml` prefix, usually in markup pasted from Word or an SVG editor. Remove the "
     "declaration."},
    {201, "Namespace prefix is not defined",
     "A prefixed element or attribute whose prefix is declared nowhere: Word's `<o:p>`, "
     "`<st1:place>` or `<v:shape>` pasted with text, Facebook's `<fb:like>`, or SVG's "
     "`xlink:href` without `xmlns:xlink`. Remove the prefixed elements and keep their text, or "
     "declare the prefix on the element (`xmlns:xlink=\"http://www.w3.org/1999/xlink\"`)."},
    {202, "Failed to parse QName",
     "A name with a colon where none may stand (`<a:>`, `<a:b:c>`), a typo or pasted markup. "
     "Correct the name, or remove the element."},
    {203, "Namespaced attribute redefined",
     "The same attribute twice on one element under two prefixes of one namespace. Keep one of "
     "them."},
    {205, "Colons are forbidden from PI names",
     "Word's `<?xml:namespace prefix = o … />`, pasted with text from Word. Remove it; Word's "
     "`<o:p>` elements then need removing too."},
}};

} // namespace

FaultHelp postFaultHelp(int code, const QString& reason)
{
    for (const CodeHelp& entry : codeHelp) {
        if (entry.code == code)
            return {QString::fromUtf8(entry.description), QString::fromUtf8(entry.help)};
    }
    return {QStringLiteral("libxml2 error %1: %2").arg(code).arg(reason),
            QStringLiteral("The post's HTML is not well-formed XML at this place. Its Source and "
                           "Narrowed text (in the error table, or the JSON report) show the "
                           "markup around it: correct it in the post's Text or Code view, and "
                           "check again.")};
}

FaultHelp exportFaultHelp()
{
    return {QStringLiteral("Fault in the export file"),
            QStringLiteral(
                "The export file itself, outside the posts' HTML, is not well-formed XML "
                "here. Usual causes: text that a plugin printed before the XML declaration or "
                "after the end (PHP warnings), a control character in a title or a custom "
                "field, bytes that are not UTF-8 after the database's character set was "
                "changed, or an export cut short by a time limit or a full disk. A warning "
                "cost nothing, every post was read; an error cost posts. Export again once the "
                "cause is mended (the plugin turned off, the character set repaired), or "
                "correct the file at the place given.")};
}
