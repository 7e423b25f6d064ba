#include "postscanner.h"

#include "bytesearch.h"

#include "analysis/reusedbuffer.h"
#include "markupnames.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Lower-cases into a buffer kept from name to name: an element has a few attributes, a post
// thousands of elements.
QByteArrayView lowerInto(QByteArrayView name, QByteArray& room)
{
    if (std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return name;
    room.resize(name.size());
    for (qsizetype i = 0; i < name.size(); ++i)
        room[i] = lowered(name[i]);
    return room;
}

// Calls onUrl with each candidate's URL of a `srcset`, as the HTML standard splits one: URLs
// run to a blank, descriptors to a comma outside parentheses.
template <typename OnUrl> void forEachSrcsetUrl(QByteArrayView value, OnUrl&& onUrl)
{
    qsizetype i = 0;
    const qsizetype size = value.size();
    while (i < size) {
        while (i < size && (isBlank(value[i]) || value[i] == ','))
            ++i;
        const qsizetype start = i;
        while (i < size && !isBlank(value[i]))
            ++i;
        qsizetype end = i;
        bool descriptors = true;
        while (end > start && value[end - 1] == ',') {
            --end;
            descriptors = false;
        }
        if (end > start)
            onUrl(value.sliced(start, end - start));
        int parentheses = 0;
        while (descriptors && i < size && (value[i] != ',' || parentheses > 0)) {
            parentheses += value[i] == '(' ? 1 : value[i] == ')' && parentheses > 0 ? -1 : 0;
            ++i;
        }
    }
}

// Calls onUrl with the URL of each `url(...)` of a style attribute.
template <typename OnUrl> void forEachStyleUrl(QByteArrayView style, OnUrl&& onUrl)
{
    const QByteArray lowerStyle = style.toByteArray().toLower();
    qsizetype i = 0;
    while ((i = lowerStyle.indexOf("url(", i)) >= 0) {
        i += 4;
        while (i < style.size() && isBlank(style[i]))
            ++i;
        const char quote = i < style.size() && (style[i] == '"' || style[i] == '\'') ? style[i] : 0;
        i += quote != 0;
        const qsizetype start = i;
        while (i < style.size() && (quote != 0 ? style[i] != quote : style[i] != ')'))
            ++i;
        onUrl(style.sliced(start, i - start).trimmed());
    }
}

} // namespace

PostScanner::PostScanner(QByteArrayView body, PostScan& scan, Room room)
    : body_(body), scan_(scan), openNames_(std::move(room.openNames)),
      openStarts_(std::move(room.openStarts)), anchorText_(std::move(room.anchorText)),
      anchorEnds_(std::move(room.anchorEnds))
{
    elementIndices_.fill(-1);
    attributeIndices_.fill(-1);
    openNames_.clear();
    openStarts_.clear();
    anchorText_.clear();
    anchorEnds_.clear();
    // Room for what most posts reach, in one allocation each rather than a few as they grow.
    openStarts_.reserve(32);
    openNames_.reserve(256);
    scan_.names.reserve(8);
}

PostScanner::Room PostScanner::takeRoom()
{
    // A hostile post's room is not kept for the posts after it.
    constexpr size_t kept = 64 * 1024;
    Room room{std::move(openNames_), std::move(openStarts_), std::move(anchorText_),
              std::move(anchorEnds_)};
    if (room.openNames.capacity() + room.openStarts.capacity() + room.anchorText.capacity() +
            room.anchorEnds.capacity() >
        kept)
        return {};
    return room;
}

PostScanner::Place PostScanner::placeAt(qint64 offset)
{
    settleElementPlace();
    placeLater(offset);
    return counted(placed_);
}

// Events come in body order, so the count only moves on; a place that a lenient parse reports out
// of order takes the last one asked for.
void PostScanner::placeLater(qint64 offset)
{
    placed_ = qMax(placed_, qMin<qint64>(offset, body_.size()));
}

PostScanner::Place PostScanner::counted(qint64 offset)
{
    const qint64 counted = counter_.position().offset;
    if (offset > counted)
        counter_.advance(body_.data() + counted, offset - counted);
    return {counter_.position().line, counter_.position().column};
}

// Most elements hold no URL and make no finding: their lines are counted only when a later
// place needs them, with the lines after them, in one go.
void PostScanner::settleElementPlace()
{
    if (elementPending_ < 0)
        return;
    elementPlace_ = counted(elementPending_);
    elementPending_ = -1;
}

const PostScanner::Place& PostScanner::elementPlace()
{
    settleElementPlace();
    return elementPlace_;
}

qint64 PostScanner::findBackward(char lead, QByteArrayView rest, qint64 from) const
{
    const qint64 floor = qMax<qint64>(searchFrom_, counter_.position().offset);
    for (qint64 i = qMin<qint64>(from, body_.size() - 1 - rest.size()); i >= floor; --i) {
        const void* hit = ::memrchr(body_.data() + floor, lead, size_t(i - floor + 1));
        if (hit == nullptr)
            return -1;
        i = static_cast<const char*>(hit) - body_.data();
        if (i + 1 + rest.size() <= body_.size()) {
            bool same = true;
            for (qsizetype k = 0; k < rest.size() && same; ++k)
                same = lowered(body_[i + 1 + k]) == lowered(rest[k]);
            if (same)
                return i;
        }
    }
    return -1;
}

quint32 PostScanner::nameIndex(QByteArrayView name, bool lasting)
{
    // A post names a handful of elements and attributes: a look along them beats a hash until
    // a hostile post names many.
    constexpr qsizetype searchedAlong = 16;
    if (scan_.names.size() <= searchedAlong) {
        for (qsizetype i = 0; i < scan_.names.size(); ++i) {
            if (scan_.names.at(i) == name)
                return quint32(i);
        }
    } else {
        const auto found =
            nameIndex_.constFind({QByteArray::fromRawData(name.data(), name.size())});
        if (found != nameIndex_.constEnd())
            return *found;
    }
    const auto index = quint32(scan_.names.size());
    // The names of kinds are the most used, and need no copy of their own.
    scan_.names.append(lasting ? QByteArray::fromRawData(name.data(), name.size())
                               : name.toByteArray());
    if (scan_.names.size() > searchedAlong) {
        if (nameIndex_.isEmpty()) {
            for (qsizetype i = 0; i < scan_.names.size(); ++i)
                nameIndex_.insert({scan_.names.at(i)}, quint32(i));
        } else {
            nameIndex_.insert({scan_.names.back()}, index);
        }
    }
    return index;
}

template <typename Kind>
quint32 PostScanner::cachedIndex(qint32& cached, Kind kind, QByteArrayView (*nameOf)(Kind))
{
    // Only a kind of one name of its own is looked up this way; its name is needed only the
    // first time the post uses it.
    if (cached < 0) {
        const QByteArrayView kindName = nameOf(kind);
        Q_ASSERT(!kindName.isEmpty());
        cached = qint32(nameIndex(kindName, true));
    }
    return quint32(cached);
}

void PostScanner::addUrl(QByteArrayView url, quint32 element, quint32 attribute, UrlPlace place)
{
    url = url.trimmed();
    const Place& at = elementPlace();
    scan_.urls.push_back({qsizetype(scan_.urlText.size()), url.size(), element, attribute, place,
                          at.line, at.column});
    if (!url.isEmpty())
        scan_.urlText.append(url.data(), size_t(url.size()));
    if (place == UrlPlace::Link && url.size() > 1 && url[0] == '#')
        fragmentLinks_.emplace_back(url.sliced(1).toByteArray(), at);
}

void PostScanner::addFinding(const char* check, AuditSeverity severity, const QString& subject,
                             const QString& detail, Place place, const QString& element,
                             const QString& attribute)
{
    AuditFinding finding;
    finding.check = QString::fromLatin1(check);
    finding.severity = severity;
    finding.subject = subject;
    finding.element = element;
    finding.attribute = attribute;
    finding.detail = detail;
    finding.bodyLine = place.line;
    finding.bodyColumn = place.column;
    scan_.findings.push_back(std::move(finding));
}

void PostScanner::startElement(QByteArrayView name, std::span<const ScanAttribute> attributes,
                               qint64 offset)
{
    const qint64 tagStart = findBackward('<', name, offset);
    flushText(tagStart >= 0 ? tagStart : offset);
    // A parser stands on the tag's ">" (or the "/" of "/>", which the element's end passes).
    resumeOffset_ = qMax(resumeOffset_, offset + (offset < body_.size() && body_[offset] == '>'));
    openStarts_.push_back(openNames_.size());
    openNames_.append(name.data(), size_t(name.size()));
    const HtmlElement element = htmlElementOf(name);
    // The previous element's place, if still to be counted, is needed no more.
    placeLater(tagStart >= 0 ? tagStart : offset);
    elementPending_ = placed_;
    searchFrom_ = qMax(searchFrom_, offset);
    if (isRawText(element))
        ++rawTextDepth_;
    bool hasAlt = false;
    QByteArrayView source;
    for (const ScanAttribute& attribute : attributes) {
        const HtmlAttribute kind = htmlAttributeOf(attribute.name);
        if (kind != HtmlAttribute::Other)
            addAttribute(element, name, kind, attribute.name, attribute.value);
        if (element == HtmlElement::Img) {
            hasAlt = hasAlt || kind == HtmlAttribute::Alt;
            if (kind == HtmlAttribute::Src)
                source = attribute.value;
        }
    }
    if (element == HtmlElement::Img && !hasAlt)
        addFinding("missing-alt", AuditSeverity::Warning, QString::fromUtf8(source.trimmed()),
                   QStringLiteral("image without an alt attribute"), elementPlace(),
                   QStringLiteral("img"));
}

void PostScanner::addAttribute(HtmlElement element, QByteArrayView elementName,
                               HtmlAttribute attribute, QByteArrayView name, QByteArrayView value)
{
    if (attribute == HtmlAttribute::Id ||
        (attribute == HtmlAttribute::Name && element == HtmlElement::A))
        addAnchor(value);
    if (attribute == HtmlAttribute::Class && element == HtmlElement::Img)
        addImageClass(value);
    const auto place = urlPlaceOf(element, attribute);
    const bool srcset = (attribute == HtmlAttribute::Srcset &&
                         (element == HtmlElement::Img || element == HtmlElement::Source)) ||
                        attribute == HtmlAttribute::DataSrcset;
    if (!place && !srcset && attribute != HtmlAttribute::Style)
        return;
    // A kind stands for one name, but for elements of no kind and the attributes that load
    // media on any element.
    const quint32 elementIndex =
        element == HtmlElement::Other
            ? nameIndex(lowerInto(elementName, lowered_))
            : cachedIndex(elementIndices_[size_t(element)], element, htmlElementName);
    const quint32 attributeIndex =
        attribute == HtmlAttribute::MediaUrl
            ? nameIndex(lowerInto(name, loweredAttribute_))
            : cachedIndex(attributeIndices_[size_t(attribute)], attribute, htmlAttributeName);
    if (place)
        addUrl(value, elementIndex, attributeIndex, *place);
    else if (srcset)
        forEachSrcsetUrl(value, [&](QByteArrayView url) {
            addUrl(url, elementIndex, attributeIndex, UrlPlace::Media);
        });
    else
        forEachStyleUrl(value, [&](QByteArrayView url) {
            addUrl(url, elementIndex, attributeIndex, UrlPlace::Media);
        });
}

void PostScanner::addAnchor(QByteArrayView name)
{
    anchorText_.append(name.data(), size_t(name.size()));
    anchorEnds_.push_back(anchorText_.size());
}

void PostScanner::addImageClass(QByteArrayView classes)
{
    if (findBytes(classes, 0, "wp-image-") < 0)
        return;
    const Place at = elementPlace();
    for (const QByteArray& token : classes.toByteArray().simplified().split(' ')) {
        if (!token.startsWith("wp-image-"))
            continue;
        bool isNumber = false;
        const qint64 id = token.sliced(9).toLongLong(&isNumber);
        if (isNumber && id > 0)
            scan_.ids.push_back({IdReference::Attachment, QString::number(id),
                                 QStringLiteral("img"), QStringLiteral("class"), at.line,
                                 at.column});
    }
}

void PostScanner::endElement(QByteArrayView name, qint64 offset)
{
    flushText(offset);
    resumeOffset_ = qMax(resumeOffset_, offset);
    if (!openStarts_.empty()) {
        openNames_.resize(openStarts_.back());
        openStarts_.pop_back();
    }
    if (rawTextDepth_ > 0 && isRawText(htmlElementOf(name))) {
        --rawTextDepth_;
        // Its text holds no shortcode, and one in the text after it must not be placed in it:
        // the search for a shortcode's place starts after the end tag, where there is one.
        const qint64 tag = offset > 0 && offset <= body_.size() && body_[offset - 1] == '>'
                               ? body_.first(offset - 1).lastIndexOf('<')
                               : -1;
        if (tag >= searchFrom_ && tag + 2 + name.size() < offset && body_[tag + 1] == '/' &&
            body_.sliced(tag + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0)
            searchFrom_ = offset;
    }
}

PostScanner::ResumePoint PostScanner::resumePoint()
{
    emptyForReuse(text_);
    ResumePoint point{qMin<qint64>(resumeOffset_, body_.size()), {}};
    for (size_t i = 0; i < openStarts_.size(); ++i) {
        const size_t end = i + 1 < openStarts_.size() ? openStarts_[i + 1] : openNames_.size();
        point.openElements.push_back(
            QByteArrayView(openNames_.data() + openStarts_[i], qsizetype(end - openStarts_[i])));
    }
    return point;
}

void PostScanner::atTopLevel()
{
    openNames_.clear();
    openStarts_.clear();
    rawTextDepth_ = 0;
}

void PostScanner::finish()
{
    flushText(body_.size());
    // One finding says it all: what a cut post leaves open, its outermost block holds.
    if (!openBlocks_.empty()) {
        const auto& [block, place] = openBlocks_.front();
        addFinding("block-markup", AuditSeverity::Error, block,
                   openBlocks_.size() == 1
                       ? QStringLiteral("block %1 is still open at the end of the post").arg(block)
                       : QStringLiteral("block %1 and %2 blocks inside it are still open at the "
                                        "end of the post")
                             .arg(block)
                             .arg(openBlocks_.size() - 1),
                   place);
    }
    QSet<HashedBytes> anchors;
    if (!fragmentLinks_.empty()) {
        for (size_t i = 0; i < anchorEnds_.size(); ++i) {
            const size_t start = i == 0 ? 0 : anchorEnds_[i - 1];
            anchors.insert({QByteArray::fromRawData(anchorText_.data() + start,
                                                    qsizetype(anchorEnds_[i] - start))});
        }
    }
    for (const auto& [name, place] : fragmentLinks_) {
        // "#top" scrolls to the top of any page without an anchor of that name.
        if (anchors.contains({name}) || anchors.contains({QByteArray::fromPercentEncoding(name)}) ||
            name.compare("top", Qt::CaseInsensitive) == 0)
            continue;
        addFinding(
            "broken-fragment", AuditSeverity::Warning, QString::fromUtf8('#' + name),
            QStringLiteral("no element of the post has id \"%1\"").arg(QString::fromUtf8(name)),
            place, QStringLiteral("a"), QStringLiteral("href"));
    }
    findBareEmbeds();
}
