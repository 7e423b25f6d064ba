#include "postscanner.h"

#include <cstring>
#include <initializer_list>
#include <optional>

namespace {

bool isOneOf(QByteArrayView name, std::initializer_list<const char*> names)
{
    for (const char* candidate : names) {
        if (name == QByteArrayView(candidate))
            return true;
    }
    return false;
}

// Where an attribute holding one URL puts it, or nothing for an attribute that holds none.
std::optional<UrlPlace> urlPlaceOf(QByteArrayView element, QByteArrayView attribute)
{
    if (attribute == "href") {
        if (isOneOf(element, {"a", "area"}))
            return UrlPlace::Link;
        if (element == "link")
            return UrlPlace::Loaded;
    } else if (attribute == "src") {
        if (isOneOf(element, {"img", "source", "video", "audio"}))
            return UrlPlace::Media;
        if (isOneOf(element, {"iframe", "script", "embed", "track", "input", "frame"}))
            return UrlPlace::Loaded;
    } else if (attribute == "poster" && element == "video") {
        return UrlPlace::Media;
    } else if (attribute == "data" && element == "object") {
        return UrlPlace::Loaded;
    } else if (attribute == "action" && element == "form") {
        return UrlPlace::Reference;
    } else if (attribute == "cite" && isOneOf(element, {"blockquote", "q", "del", "ins"})) {
        return UrlPlace::Reference;
    } else if (isOneOf(attribute, {"background", "data-src", "data-lazy-src", "data-orig-file",
                                   "data-large-file", "data-medium-file"})) {
        return UrlPlace::Media;
    }
    return std::nullopt;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Lower-cases into a buffer kept from name to name: an element has a few attributes, a post
// thousands of elements.
QByteArrayView lowerInto(QByteArrayView name, QByteArray& room)
{
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

PostScanner::PostScanner(QByteArrayView body, PostScan& scan) : body_(body), scan_(scan)
{
    findShortcodeClosers();
}

PostScanner::Place PostScanner::placeAt(qint64 offset)
{
    // Events come in body order, so the count only moves on; a place that a lenient parse
    // reports out of order takes the last one counted.
    const qint64 counted = counter_.position().offset;
    if (offset > counted)
        counter_.advance(body_.data() + counted, qMin<qint64>(offset, body_.size()) - counted);
    return {counter_.position().line, counter_.position().column};
}

qint64 PostScanner::findBackward(QByteArrayView needle, qint64 from) const
{
    const qint64 floor = qMax<qint64>(searchFrom_, counter_.position().offset);
    for (qint64 i = qMin<qint64>(from, body_.size() - needle.size()); i >= floor; --i) {
        const void* hit = ::memrchr(body_.data() + floor, needle[0], size_t(i - floor + 1));
        if (hit == nullptr)
            return -1;
        i = static_cast<const char*>(hit) - body_.data();
        if (i + needle.size() <= body_.size()) {
            bool same = true;
            for (qsizetype k = 1; k < needle.size() && same; ++k)
                same = lowered(body_[i + k]) == needle[k];
            if (same)
                return i;
        }
    }
    return -1;
}

quint32 PostScanner::nameIndex(QByteArrayView name)
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
        const auto found = nameIndex_.constFind(QByteArray::fromRawData(name.data(), name.size()));
        if (found != nameIndex_.constEnd())
            return *found;
    }
    const auto index = quint32(scan_.names.size());
    scan_.names.append(name.toByteArray());
    if (scan_.names.size() > searchedAlong) {
        if (nameIndex_.isEmpty()) {
            for (qsizetype i = 0; i < scan_.names.size(); ++i)
                nameIndex_.insert(scan_.names.at(i), quint32(i));
        } else {
            nameIndex_.insert(scan_.names.back(), index);
        }
    }
    return index;
}

void PostScanner::addUrl(QByteArrayView url, quint32 element, quint32 attribute, UrlPlace place)
{
    url = url.trimmed();
    scan_.urls.push_back({scan_.urlText.size(), url.size(), element, attribute, place,
                          elementPlace_.line, elementPlace_.column});
    scan_.urlText.append(url);
    if (place == UrlPlace::Link && url.size() > 1 && url[0] == '#')
        fragmentLinks_.emplace_back(url.sliced(1).toByteArray(), elementPlace_);
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
    flushText();
    lowerInto(name, lowered_);
    const QByteArrayView element(lowered_);
    tagNeedle_.resize(0);
    tagNeedle_.append('<').append(lowered_);
    const qint64 tagStart = findBackward(tagNeedle_, offset);
    elementPlace_ = placeAt(tagStart >= 0 ? tagStart : offset);
    searchFrom_ = qMax(searchFrom_, offset);
    if (isOneOf(element, {"pre", "code", "script", "style"}))
        ++rawTextDepth_;
    bool hasAlt = false;
    QByteArrayView source;
    for (const ScanAttribute& attribute : attributes) {
        const QByteArrayView attributeName = lowerInto(attribute.name, loweredAttribute_);
        addAttribute(element, attributeName, attribute.value);
        if (element == "img") {
            hasAlt = hasAlt || attributeName == "alt";
            if (attributeName == "src")
                source = attribute.value;
        }
    }
    if (element == "img" && !hasAlt)
        addFinding("missing-alt", AuditSeverity::Warning, QString::fromUtf8(source.trimmed()),
                   QStringLiteral("image without an alt attribute"), elementPlace_,
                   QStringLiteral("img"));
}

void PostScanner::addAttribute(QByteArrayView element, QByteArrayView name, QByteArrayView value)
{
    if (name == "id" || (name == "name" && element == "a"))
        anchors_.insert(value.toByteArray());
    if (name == "class" && element == "img")
        addImageClass(value);
    const auto place = urlPlaceOf(element, name);
    const bool srcset =
        (name == "srcset" && isOneOf(element, {"img", "source"})) || name == "data-srcset";
    if (!place && !srcset && name != "style")
        return;
    const quint32 elementIndex = nameIndex(element);
    const quint32 attributeIndex = nameIndex(name);
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

void PostScanner::addImageClass(QByteArrayView classes)
{
    for (const QByteArray& token : classes.toByteArray().simplified().split(' ')) {
        if (!token.startsWith("wp-image-"))
            continue;
        bool isNumber = false;
        const qint64 id = token.sliced(9).toLongLong(&isNumber);
        if (isNumber && id > 0)
            scan_.ids.push_back({IdReference::Attachment, QString::number(id),
                                 QStringLiteral("img"), QStringLiteral("class"), elementPlace_.line,
                                 elementPlace_.column});
    }
}

void PostScanner::endElement(QByteArrayView name)
{
    flushText();
    const QByteArrayView element = lowerInto(name, lowered_);
    if (rawTextDepth_ > 0 && isOneOf(element, {"pre", "code", "script", "style"}))
        --rawTextDepth_;
}

void PostScanner::finish()
{
    flushText();
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
    for (const auto& [name, place] : fragmentLinks_) {
        // "#top" scrolls to the top of any page without an anchor of that name.
        if (anchors_.contains(name) || anchors_.contains(QByteArray::fromPercentEncoding(name)) ||
            name.compare("top", Qt::CaseInsensitive) == 0)
            continue;
        addFinding(
            "broken-fragment", AuditSeverity::Warning, QString::fromUtf8('#' + name),
            QStringLiteral("no element of the post has id \"%1\"").arg(QString::fromUtf8(name)),
            place, QStringLiteral("a"), QStringLiteral("href"));
    }
    findBareEmbeds();
}
