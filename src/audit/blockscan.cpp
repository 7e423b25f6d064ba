// Block delimiters: the comments in which the block editor keeps each block's name and
// attributes.
#include "postscanner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QUrl>

#include <algorithm>
#include <functional>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isNameCharacter(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// One segment of a block name, [a-z][a-z0-9_-]*, from i on; its end, or i when there is none.
qsizetype nameSegmentEnd(QByteArrayView text, qsizetype i)
{
    if (i >= text.size() || !isNameStart(text[i]))
        return i;
    while (i < text.size() && isNameCharacter(text[i]))
        ++i;
    return i;
}

struct Delimiter
{
    bool valid = false;
    bool closer = false;
    bool selfClosing = false;
    QString name; // with its namespace, `core/` when it has none
    // The name as written, up to a blank, `{` or the end: what a delimiter that does not follow
    // the grammar is reported under, since no name can be read from it.
    QString written;
    QByteArrayView attributes;
};

QString writtenName(QByteArrayView content, qsizetype start)
{
    qsizetype end = start;
    while (end < content.size() && !isBlank(content[end]) && content[end] != '{')
        ++end;
    if (end == content.size() && end > start && content[end - 1] == '/')
        --end; // the self-closing mark of `wp:NAME/-->`
    const QString written = QString::fromUtf8(content.sliced(start, end - start));
    return written.size() > 200 ? written.left(200) + QChar(0x2026) : written;
}

// Reads a comment's content, between "<!--" and "-->", as the block parser does.
Delimiter readDelimiter(QByteArrayView content)
{
    Delimiter delimiter;
    qsizetype i = 0;
    while (i < content.size() && isBlank(content[i]))
        ++i;
    const bool blankBefore = i > 0;
    delimiter.closer = content.sliced(i).startsWith("/");
    i += delimiter.closer ? 4 : 3; // "/wp:" or "wp:"
    const qsizetype nameStart = qMin(i, content.size());
    delimiter.written = writtenName(content, nameStart);
    qsizetype end = nameSegmentEnd(content, nameStart);
    if (end == nameStart)
        return delimiter;
    if (end < content.size() && content[end] == '/' && nameSegmentEnd(content, end + 1) > end + 1)
        end = nameSegmentEnd(content, end + 1);
    delimiter.name = QString::fromUtf8(content.sliced(nameStart, end - nameStart));
    if (!delimiter.name.contains(QLatin1Char('/')))
        delimiter.name.prepend(QLatin1String("core/"));
    QByteArrayView rest = content.sliced(end);
    if (!delimiter.closer && rest.endsWith('/')) {
        delimiter.selfClosing = true;
        rest.chop(1);
    }
    // A name followed by anything but a blank, `{` or the end was not read whole.
    if (!rest.isEmpty() && !isBlank(rest.front()) && rest.front() != '{')
        delimiter.name.clear();
    const bool blanksAround = !rest.isEmpty() && isBlank(rest.front()) && isBlank(rest.back());
    rest = rest.trimmed();
    const bool attributesFit =
        rest.isEmpty() || (!delimiter.closer && rest.startsWith('{') && rest.endsWith('}'));
    delimiter.attributes = rest;
    delimiter.valid = blankBefore && blanksAround && attributesFit;
    return delimiter;
}

bool isUrlKey(const QString& key)
{
    static const QStringList keys = {"url",      "href",      "src",   "link",
                                     "mediaUrl", "mediaLink", "poster"};
    return keys.contains(key);
}

} // namespace

void PostScanner::comment(QByteArrayView content, qint64 offset)
{
    qint64 start = offset - content.size() - 7;
    if (start < 0 || !body_.sliced(start).startsWith("<!--"))
        start = findBackward('<', "!--", offset);
    flushText(start >= 0 ? start : offset);
    resumeOffset_ = qMax(resumeOffset_, offset);
    const Place place = placeAt(start >= 0 ? start : offset);
    searchFrom_ = qMax(searchFrom_, offset);
    const QByteArrayView trimmed = content.trimmed();
    if (trimmed.startsWith("wp:") || trimmed.startsWith("/wp:"))
        blockDelimiter(content, place);
}

void PostScanner::blockDelimiter(QByteArrayView content, Place place)
{
    const Delimiter delimiter = readDelimiter(content);
    const auto fault = [&](const QString& subject, const QString& detail) {
        addFinding("block-markup", AuditSeverity::Error, subject, detail, place);
    };
    if (!delimiter.valid) {
        const QString subject = delimiter.name.isEmpty() ? delimiter.written : delimiter.name;
        fault(subject,
              QStringLiteral("comment %1wp:%2 starts like a block delimiter but does "
                             "not follow the delimiter grammar")
                  .arg(delimiter.closer ? QStringLiteral("/") : QString(), delimiter.written));
        return;
    }
    if (delimiter.closer) {
        const auto open =
            std::find_if(openBlocks_.rbegin(), openBlocks_.rend(),
                         [&](const auto& block) { return block.first == delimiter.name; });
        if (openBlocks_.empty())
            fault(delimiter.name,
                  QStringLiteral("closer of %1 with no open block").arg(delimiter.name));
        else if (open != openBlocks_.rbegin())
            fault(delimiter.name, QStringLiteral("closer of %1 inside block %2")
                                      .arg(delimiter.name, openBlocks_.back().first));
        // A closer that names an outer block closes it and what it holds.
        if (open != openBlocks_.rend())
            openBlocks_.erase(std::prev(open.base()), openBlocks_.end());
        return;
    }
    ++scan_.blocks[delimiter.name];
    if (!delimiter.attributes.isEmpty())
        blockAttributes(delimiter.name, delimiter.attributes, place);
    if (!delimiter.selfClosing)
        openBlocks_.emplace_back(delimiter.name, place);
}

void PostScanner::blockAttributes(const QString& name, QByteArrayView json, Place place)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        addFinding("block-markup", AuditSeverity::Error, name,
                   QStringLiteral("the attributes of block %1 are not a JSON object").arg(name),
                   place);
        return;
    }
    const Place elementPlace = this->elementPlace();
    elementPlace_ = place;
    const quint32 element = nameIndex(QByteArray("block " + name.toUtf8()));
    // The parser bounds the nesting, so this recursion is bounded too.
    const std::function<void(const QJsonValue&, const QString&)> walk = [&](const QJsonValue& value,
                                                                            const QString& key) {
        if (value.isString()) {
            const QString text = value.toString();
            if (isUrlKey(key) || text.startsWith(QLatin1String("http://")) ||
                text.startsWith(QLatin1String("https://")))
                addUrl(text.toUtf8(), element, nameIndex(key.toUtf8()), UrlPlace::Block);
        } else if (value.isArray()) {
            for (const QJsonValue& item : value.toArray())
                walk(item, key);
        } else if (value.isObject()) {
            const QJsonObject object = value.toObject();
            for (auto it = object.begin(); it != object.end(); ++it)
                walk(it.value(), it.key());
        }
    };
    const QJsonObject attributes = document.object();
    walk(attributes, QString());
    elementPlace_ = elementPlace;

    blockIds(name, attributes, place);
    const QString url = attributes.value(QLatin1String("url")).toString();
    if ((name == QLatin1String("core/embed") || name.startsWith(QLatin1String("core-embed/"))) &&
        !url.isEmpty() && !embeds_.contains({url})) {
        embeds_.insert({url});
        addFinding("bare-embed", AuditSeverity::Note, url, QUrl(url).host(), place,
                   QLatin1String("block ") + name, QStringLiteral("url"));
    }
}

void PostScanner::blockIds(const QString& name, const QJsonObject& attributes, Place place)
{
    const QString blockElement = QLatin1String("block ") + name;
    const auto addId = [&](const QJsonValue& value, IdReference::Kind kind, const QString& key) {
        const qint64 id = value.isString() ? value.toString().toLongLong() : value.toInteger();
        if (id > 0)
            scan_.ids.push_back(
                {kind, QString::number(id), blockElement, key, place.line, place.column});
    };
    static const QStringList mediaBlocks = {"core/image", "core/video", "core/audio",
                                            "core/file",  "core/cover", "core/media-text"};
    if (mediaBlocks.contains(name)) {
        for (const QString& key : {QStringLiteral("id"), QStringLiteral("mediaId")}) {
            if (attributes.contains(key))
                addId(attributes.value(key), IdReference::Attachment, key);
        }
    } else if (name == QLatin1String("core/gallery")) {
        for (const QJsonValue& id : attributes.value(QLatin1String("ids")).toArray())
            addId(id, IdReference::Attachment, QStringLiteral("ids"));
    } else if (name == QLatin1String("core/block")) {
        addId(attributes.value(QLatin1String("ref")), IdReference::ReusableBlock,
              QStringLiteral("ref"));
    }
}
