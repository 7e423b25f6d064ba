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
    // buffer by exactly each piece, which costs quadratic time wherever realloc copies; so would
    // appending without reserving first.
    const auto forEachPiece = [&](const auto& use) {
        const xmlNode* node = child;
        while (node != nullptr) {
            if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) &&
                node->content != nullptr) {
                use(reinterpret_cast<const char*>(node->content));
            } else if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
                node = node->children;
                continue;
            }
            while (node != nullptr && node->next == nullptr)
                node = node->parent == element ? nullptr : node->parent;
            if (node != nullptr)
                node = node->next;
        }
    };
    qsizetype length = 0;
    forEachPiece([&](const char* piece) { length += qsizetype(std::strlen(piece)); });
    QByteArray text;
    text.reserve(length);
    forEachPiece([&](const char* piece) { text.append(piece); });
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

// Calls use(start, end, id) for each placeholder in the CDATA section's text, start being where
// its lead stands. The repair's escape is followed by the genuine character it escapes, which may
// look like a lead.
template <typename Use> void forEachPlaceholder(const char* text, qint64 size, const Use& use)
{
    const char* const lead = markupguard::heldLead;
    constexpr char escaped = char(0xA3);
    qint64 i = 0;
    while (const void* found = std::memchr(text + i, lead[0], size_t(size - i))) {
        i = static_cast<const char*>(found) - text;
        if (size - i < 4 || std::memcmp(text + i, lead, 3) != 0) {
            ++i;
            continue;
        }
        if (text[i + 3] == escaped) {
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

// The text with each placeholder in it replaced by the run held for it, or nothing if it holds
// none; last is set to the number of the last placeholder.
QByteArray withHeldRuns(const char* text, qint64 size, const markupguard::ByteStreamGuard& guard,
                        qint64& last)
{
    QByteArray restored;
    qint64 copied = 0;
    forEachPlaceholder(text, size, [&](qint64 start, qint64 end, qint64 id) {
        last = id;
        const markupguard::ByteStreamGuard::HeldRun* run = guard.heldRun(id);
        if (run == nullptr || start - run->lineFeeds < copied)
            return;
        if (restored.isEmpty())
            restored.reserve(size + 4096);
        restored.append(text + copied, start - run->lineFeeds - copied).append(run->text);
        copied = end;
    });
    if (copied > 0)
        restored.append(text + copied, size - copied);
    return restored;
}

} // namespace

void putBackHeld(xmlNode* top, markupguard::ByteStreamGuard& guard)
{
    qint64 last = -1;
    xmlNode* node = top;
    while (node != nullptr) {
        if (node->type == XML_CDATA_SECTION_NODE && node->content != nullptr) {
            const auto* text = reinterpret_cast<const char*>(node->content);
            const QByteArray restored = withHeldRuns(text, qint64(std::strlen(text)), guard, last);
            if (!restored.isEmpty())
                xmlNodeSetContentLen(node, reinterpret_cast<const xmlChar*>(restored.constData()),
                                     int(restored.size()));
        } else if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node != top && node->next == nullptr)
            node = node->parent;
        node = node == nullptr || node == top ? nullptr : node->next;
    }
    guard.dropHeldBefore(last + 1);
}

void dropHeld(const xmlNode* cdata, markupguard::ByteStreamGuard& guard)
{
    if (cdata->content == nullptr)
        return;
    const auto* text = reinterpret_cast<const char*>(cdata->content);
    qint64 last = -1;
    forEachPlaceholder(text, qint64(std::strlen(text)),
                       [&](qint64, qint64, qint64 id) { last = id; });
    guard.dropHeldBefore(last + 1);
}

qint64 markersIn(const xmlNode* top, bool subtree)
{
    qint64 markers = markersOfNode(top);
    if (!subtree)
        return markers;
    const xmlNode* node = top->children;
    while (node != nullptr) {
        markers += markersOfNode(node);
        if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
            node = node->children;
            continue;
        }
        while (node != nullptr && node->next == nullptr)
            node = node->parent == top ? nullptr : node->parent;
        if (node != nullptr)
            node = node->next;
    }
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
            QByteArray title = textOf(child);
            // An item named while it is still being read has its runs still held.
            qint64 last = -1;
            if (QByteArray restored =
                    held != nullptr ? withHeldRuns(title.constData(), title.size(), *held, last)
                                    : QByteArray();
                !restored.isEmpty())
                title = std::move(restored);
            place.title = QString::fromUtf8(restore ? exportrepair::restoreTitle(title) : title);
        } else if (place.postId.isEmpty() && isWritten(child, "wp", "post_id")) {
            place.postId = QString::fromUtf8(textOf(child)).trimmed();
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

QString trimmedText(const xmlNode* element)
{
    return element != nullptr ? QString::fromUtf8(textOf(element)).trimmed() : QString();
}

// The `wp:meta_value` of a `wp:postmeta` whose `wp:meta_key` is the one given.
const xmlNode* metaValue(const xmlNode* postmeta, const char* key)
{
    const xmlNode* value = nullptr;
    bool keyed = false;
    for (const xmlNode* child = postmeta->children; child != nullptr; child = child->next) {
        if (value == nullptr && isWritten(child, "wp", "meta_value"))
            value = child;
        else if (!keyed && isWritten(child, "wp", "meta_key"))
            keyed = textOf(child) == key;
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

    void take(const xmlNode* child)
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
            thumbnailId = metaValue(child, "_thumbnail_id");
    }
};

} // namespace

void readChannelChild(const xmlNode* element, ExportChannel& channel)
{
    if (channel.link.isEmpty() && isPlainElement(element, "link"))
        channel.link = trimmedText(element);
    else if (channel.baseBlogUrl.isEmpty() && isWritten(element, "wp", "base_blog_url"))
        channel.baseBlogUrl = trimmedText(element);
}

ExportItem itemFrom(const xmlNode* item, bool restore)
{
    ItemChildren children;
    for (const xmlNode* child = item->children; child != nullptr; child = child->next)
        children.take(child);
    ExportItem result;
    result.postId = trimmedText(children.postId);
    result.permalink = trimmedText(children.link);
    result.postType = trimmedText(children.postType);
    result.status = trimmedText(children.status);
    result.postName = trimmedText(children.postName);
    result.guid = trimmedText(children.guid);
    result.attachmentUrl = trimmedText(children.attachmentUrl);
    result.thumbnailId = trimmedText(children.thumbnailId);
    if (const xmlNode* title = children.title)
        result.title =
            QString::fromUtf8(restore ? exportrepair::restoreTitle(textOf(title)) : textOf(title));
    if (const xmlNode* body = children.body)
        result.bodyUtf8 = restore ? exportrepair::restoreBody(textOf(body)) : textOf(body);
    return result;
}

} // namespace exporttree
