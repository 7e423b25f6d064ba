#include "exporttree.h"

#include "exportrepair.h"

#include <algorithm>
#include <cstring>

namespace exporttree {

namespace {

constexpr char contentModuleUri[] = "http://purl.org/rss/1.0/modules/content/";

bool hasName(const xmlNode* node, const char* name)
{
    return std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

bool isPlainElement(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && node->ns == nullptr && hasName(node, name);
}

bool hasPrefix(const xmlNode* node, const char* prefix)
{
    return node->ns != nullptr && node->ns->prefix != nullptr &&
           std::strcmp(reinterpret_cast<const char*>(node->ns->prefix), prefix) == 0;
}

// An element written prefix:name, whether or not the prefix is declared: libxml2 keeps an element
// with an undeclared prefix under its whole name, without a namespace.
bool isWritten(const xmlNode* node, const char* prefix, const char* name)
{
    if (node->type != XML_ELEMENT_NODE)
        return false;
    if (node->ns == nullptr) {
        const auto* written = reinterpret_cast<const char*>(node->name);
        const size_t prefixLength = std::strlen(prefix);
        return std::strncmp(written, prefix, prefixLength) == 0 && written[prefixLength] == ':' &&
               std::strcmp(written + prefixLength + 1, name) == 0;
    }
    return hasName(node, name) && hasPrefix(node, prefix);
}

bool isContentEncoded(const xmlNode* node)
{
    if (node->type != XML_ELEMENT_NODE)
        return false;
    if (node->ns != nullptr && hasName(node, "encoded") && node->ns->href != nullptr &&
        std::strcmp(reinterpret_cast<const char*>(node->ns->href), contentModuleUri) == 0)
        return true;
    return isWritten(node, "content", "encoded");
}

// Calls visit on each node below top, in document order.
template <typename Visit> void forEachBelow(const xmlNode* top, const Visit& visit)
{
    const xmlNode* node = top->children;
    while (node != nullptr) {
        visit(node);
        if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr)
            node = node->parent == top ? nullptr : node->parent;
        if (node != nullptr)
            node = node->next;
    }
}

// Calls use(start, end, id) for each placeholder in the CDATA section's text, start being where
// its lead stands. The repair's escape is followed by the genuine character it escapes, which may
// look like a lead.
template <typename Use> void forEachPlaceholder(const char* text, qint64 size, const Use& use)
{
    const char* const lead = markupguard::heldLead;
    qint64 i = 0;
    while (const void* found = std::memchr(text + i, lead[0], size_t(size - i))) {
        i = static_cast<const char*>(found) - text;
        if (size - i < 4 || std::memcmp(text + i, lead, 3) != 0) {
            ++i;
            continue;
        }
        if (exportrepair::isEscapeAt(text, size, i)) {
            i = std::min(size, i + 8);
            continue;
        }
        qint64 end = i + 4;
        qint64 id = 0;
        while (end < size && text[end] >= '0' && text[end] <= '9' && end - i < 22)
            id = id * 10 + (text[end++] - '0');
        if (text[i + 3] == lead[3] && end > i + 4 && end < size && text[end] == ';') {
            use(i, end + 1, id);
            i = end + 1;
        } else {
            i += 4;
        }
    }
}

// Appends the text to out, or only counts it when out is null, with each placeholder replaced by
// the run held for it; returns its length.
qint64 restoredText(const char* text, qint64 size, const markupguard::ByteStreamGuard* held,
                    QByteArray* out)
{
    qint64 copied = 0;
    qint64 length = 0;
    if (held != nullptr)
        forEachPlaceholder(text, size, [&](qint64 start, qint64 end, qint64 id) {
            const markupguard::ByteStreamGuard::HeldRun* run = held->heldRun(id);
            if (run == nullptr || start - run->lineFeeds < copied)
                return;
            const qint64 before = start - run->lineFeeds - copied;
            if (out != nullptr)
                out->append(text + copied, before).append(run->text);
            length += before + run->text.size();
            copied = end;
        });
    if (out != nullptr)
        out->append(text + copied, size - copied);
    return length + size - copied;
}

// The last placeholder in the CDATA sections of the subtree, or -1.
qint64 lastPlaceholder(const xmlNode* top)
{
    qint64 last = -1;
    const auto take = [&](const xmlNode* node) {
        if (node->type != XML_CDATA_SECTION_NODE || node->content == nullptr)
            return;
        const auto* text = reinterpret_cast<const char*>(node->content);
        forEachPlaceholder(text, qint64(std::strlen(text)),
                           [&](qint64, qint64, qint64 id) { last = id; });
    };
    take(top);
    forEachBelow(top, take);
    return last;
}

// The element's character data, markup removed, with the runs that the guard held (if given) in
// place of their placeholders. The parser has already substituted entities (within its
// amplification limits), so the tree holds nothing left to expand.
QByteArray textOf(const xmlNode* element, const markupguard::ByteStreamGuard* held)
{
    const xmlNode* child = element->children;
    if (child == nullptr)
        return QByteArray();
    // The usual case, one CDATA section or text node, needs no intermediate copy.
    if (child->next == nullptr &&
        (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)) {
        const auto* text = reinterpret_cast<const char*>(child->content);
        const auto size = qint64(std::strlen(text));
        if (held == nullptr || std::memchr(text, markupguard::heldLead[0], size_t(size)) == nullptr)
            return QByteArray(text, size);
        QByteArray restored;
        restored.reserve(restoredText(text, size, held, nullptr));
        restoredText(text, size, held, &restored);
        return restored;
    }
    // Long bodies arrive as many pieces (see markupguard.h). xmlNodeGetContent would grow its
    // buffer by exactly each piece, which costs quadratic time wherever realloc copies; so would
    // appending without reserving first.
    const auto forEachPiece = [&](const auto& use) {
        forEachBelow(element, [&](const xmlNode* node) {
            if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) &&
                node->content != nullptr)
                use(reinterpret_cast<const char*>(node->content));
        });
    };
    qsizetype length = 0;
    forEachPiece([&](const char* piece) {
        length += restoredText(piece, qint64(std::strlen(piece)), held, nullptr);
    });
    QByteArray text;
    text.reserve(length);
    forEachPiece(
        [&](const char* piece) { restoredText(piece, qint64(std::strlen(piece)), held, &text); });
    return text;
}

qint64 markersOfNode(const xmlNode* node)
{
    const auto count = [](const xmlChar* text) {
        const auto* bytes = reinterpret_cast<const char*>(text);
        return bytes != nullptr ? exportrepair::countMarkers(bytes, qint64(std::strlen(bytes))) : 0;
    };
    qint64 markers = 0;
    if (node->type == XML_ELEMENT_NODE) {
        for (const xmlAttr* attribute = node->properties; attribute != nullptr;
             attribute = attribute->next)
            for (const xmlNode* part = attribute->children; part != nullptr; part = part->next)
                markers += count(part->content);
    } else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE ||
               node->type == XML_COMMENT_NODE || node->type == XML_PI_NODE) {
        markers += count(node->content);
    }
    return markers;
}

} // namespace

void dropHeld(const xmlNode* top, markupguard::ByteStreamGuard& guard)
{
    if (const qint64 last = lastPlaceholder(top); last >= 0)
        guard.dropHeldBefore(last + 1);
}

qint64 markersIn(const xmlNode* top, bool subtree)
{
    qint64 markers = markersOfNode(top);
    if (!subtree)
        return markers;
    forEachBelow(top, [&](const xmlNode* node) { markers += markersOfNode(node); });
    return markers;
}

bool isItem(const xmlNode* node)
{
    const xmlNode* channel = node->parent;
    const xmlNode* rss = channel != nullptr ? channel->parent : nullptr;
    return isPlainElement(node, "item") && channel != nullptr &&
           isPlainElement(channel, "channel") && rss != nullptr && isPlainElement(rss, "rss") &&
           rss->parent != nullptr && rss->parent->type == XML_DOCUMENT_NODE;
}

ItemPlace placeOf(const xmlNode* item, bool restore, const markupguard::ByteStreamGuard* held)
{
    ItemPlace place;
    for (const xmlNode* child = item->children; child != nullptr; child = child->next) {
        if (place.title.isEmpty() && isPlainElement(child, "title")) {
            const QByteArray title = textOf(child, held);
            place.title = QString::fromUtf8(restore ? exportrepair::restoreTitle(title) : title);
        } else if (place.postId.isEmpty() && isWritten(child, "wp", "post_id")) {
            place.postId = QString::fromUtf8(textOf(child, held)).trimmed();
        }
    }
    return place;
}

void placeInItem(ExportFault& fault, const ItemPlace& place)
{
    fault.inItem = true;
    if (fault.itemTitle.isEmpty())
        fault.itemTitle = place.title;
    if (fault.postId.isEmpty())
        fault.postId = place.postId;
}

namespace {

QString trimmedText(const xmlNode* element, const markupguard::ByteStreamGuard* held)
{
    return element != nullptr ? QString::fromUtf8(textOf(element, held)).trimmed() : QString();
}

// The `wp:meta_value` of a `wp:postmeta` whose `wp:meta_key` is the one given.
const xmlNode* metaValue(const xmlNode* postmeta, const char* key,
                         const markupguard::ByteStreamGuard* held)
{
    const xmlNode* value = nullptr;
    bool keyed = false;
    for (const xmlNode* child = postmeta->children; child != nullptr; child = child->next) {
        if (value == nullptr && isWritten(child, "wp", "meta_value"))
            value = child;
        else if (!keyed && isWritten(child, "wp", "meta_key"))
            keyed = textOf(child, held) == key;
    }
    return keyed ? value : nullptr;
}

// The item's first child of each name the export's readers use.
struct ItemChildren
{
    const xmlNode* title = nullptr;
    const xmlNode* body = nullptr;
    const xmlNode* postId = nullptr;
    const xmlNode* link = nullptr;
    const xmlNode* postType = nullptr;
    const xmlNode* status = nullptr;
    const xmlNode* postName = nullptr;
    const xmlNode* guid = nullptr;
    const xmlNode* attachmentUrl = nullptr;
    const xmlNode* thumbnailId = nullptr;

    void take(const xmlNode* child, const markupguard::ByteStreamGuard* held)
    {
        if (child->type != XML_ELEMENT_NODE)
            return;
        const auto first = [child](const xmlNode*& slot) {
            if (slot == nullptr)
                slot = child;
        };
        if (isPlainElement(child, "title"))
            first(title);
        else if (isContentEncoded(child))
            first(body);
        else if (isPlainElement(child, "link"))
            first(link);
        else if (isPlainElement(child, "guid"))
            first(guid);
        else if (isWritten(child, "wp", "post_id"))
            first(postId);
        else if (isWritten(child, "wp", "post_type"))
            first(postType);
        else if (isWritten(child, "wp", "status"))
            first(status);
        else if (isWritten(child, "wp", "post_name"))
            first(postName);
        else if (isWritten(child, "wp", "attachment_url"))
            first(attachmentUrl);
        else if (thumbnailId == nullptr && isWritten(child, "wp", "postmeta"))
            thumbnailId = metaValue(child, "_thumbnail_id", held);
    }
};

} // namespace

void readChannelChild(const xmlNode* element, ExportChannel& channel,
                      const markupguard::ByteStreamGuard* held)
{
    if (channel.link.isEmpty() && isPlainElement(element, "link"))
        channel.link = trimmedText(element, held);
    else if (channel.baseBlogUrl.isEmpty() && isWritten(element, "wp", "base_blog_url"))
        channel.baseBlogUrl = trimmedText(element, held);
}

ExportItem itemFrom(const xmlNode* item, bool restore, const markupguard::ByteStreamGuard* held)
{
    ItemChildren children;
    for (const xmlNode* child = item->children; child != nullptr; child = child->next)
        children.take(child, held);
    ExportItem result;
    result.postId = trimmedText(children.postId, held);
    result.permalink = trimmedText(children.link, held);
    result.postType = trimmedText(children.postType, held);
    result.status = trimmedText(children.status, held);
    result.postName = trimmedText(children.postName, held);
    result.guid = trimmedText(children.guid, held);
    result.attachmentUrl = trimmedText(children.attachmentUrl, held);
    result.thumbnailId = trimmedText(children.thumbnailId, held);
    if (const xmlNode* title = children.title)
        result.title = QString::fromUtf8(restore ? exportrepair::restoreTitle(textOf(title, held))
                                                 : textOf(title, held));
    if (const xmlNode* body = children.body)
        result.bodyUtf8 =
            restore ? exportrepair::restoreBody(textOf(body, held)) : textOf(body, held);
    return result;
}

} // namespace exporttree
