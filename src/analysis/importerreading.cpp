#include "importerreading.h"

#include <QString>

namespace {

// The text between the first `<name` start tag (or one whose name merely starts so, as the
// importer's search takes it) and the next `</name>`; empty when there is none.
QByteArray fieldOf(QByteArrayView item, QByteArrayView name)
{
    const QByteArray open = '<' + name.toByteArray();
    const QByteArray close = "</" + name.toByteArray() + '>';
    const qsizetype start = item.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype textStart = item.indexOf('>', start + open.size());
    if (textStart < 0)
        return {};
    const qsizetype end = item.indexOf(close, textStart + 1);
    if (end < 0)
        return {};
    return item.sliced(textStart + 1, end - textStart - 1).toByteArray();
}

QByteArray joinedCData(QByteArrayView text)
{
    QByteArray joined;
    for (qsizetype at = text.indexOf("<![CDATA["); at >= 0; at = text.indexOf("<![CDATA[", at)) {
        const qsizetype end = text.indexOf("]]>", at + 9);
        if (end < 0)
            break;
        joined += text.sliced(at + 9, end - at - 9);
        at = end + 3;
    }
    return joined;
}

// One reference at text[at] ('&'), decoded into out; false when it is none the importer knows.
bool decodeReference(QByteArrayView text, qsizetype at, QByteArray& out, qsizetype& length)
{
    static const std::pair<QByteArrayView, char> named[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    const QByteArrayView rest = text.sliced(at);
    for (const auto& [entity, character] : named)
        if (rest.startsWith(entity)) {
            out += character;
            length = entity.size();
            return true;
        }
    const qsizetype end = rest.indexOf(';');
    if (!rest.startsWith("&#") || end < 3 || end > 12)
        return false;
    const bool hex = rest[2] == 'x';
    bool ok = false;
    const uint value = rest.sliced(hex ? 3 : 2, end - (hex ? 3 : 2)).toUInt(&ok, hex ? 16 : 10);
    const bool allowed =
        value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF) ||
        (value >= 0xE000 && value <= 0x10FFFF && value != 0xFFFE && value != 0xFFFF);
    if (!ok || !allowed)
        return false;
    const char32_t character = value;
    out += QString::fromUcs4(&character, 1).toUtf8();
    length = end + 1;
    return true;
}

QByteArray decoded(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = 0;
        if (text[at] == '&' && decodeReference(text, at, out, length)) {
            at += length;
        } else {
            out += text[at];
            ++at;
        }
    }
    return out;
}

QByteArray textOf(QByteArrayView item, QByteArrayView name)
{
    const QByteArray field = fieldOf(item, name);
    if (!field.startsWith("<![CDATA["))
        return decoded(field);
    if (field.contains("]]]]><![CDATA[>"))
        return joinedCData(field);
    if (field.endsWith("]]>"))
        return field.sliced(9, field.size() - 12);
    return field;
}

} // namespace

ExportItem readItemAsImporter(QByteArrayView itemText)
{
    const QByteArray item =
        QString::fromUtf8(itemText).toUtf8().replace("\r\n", "\n").replace('\r', '\n');
    ExportItem read;
    const auto trimmed = [&](QByteArrayView name) {
        return QString::fromUtf8(textOf(item, name)).trimmed();
    };
    read.title = QString::fromUtf8(textOf(item, "title")).removeIf([](QChar character) {
        return (character < u'\x20' && character != u'\t' && character != u'\n' &&
                character != u'\r') ||
               character == u'\uFFFE' || character == u'\uFFFF';
    });
    read.bodyUtf8 = textOf(item, "content:encoded");
    read.postId = trimmed("wp:post_id");
    read.permalink = trimmed("link");
    read.postType = trimmed("wp:post_type");
    read.status = trimmed("wp:status");
    read.postName = trimmed("wp:post_name");
    read.guid = trimmed("guid");
    read.attachmentUrl = trimmed("wp:attachment_url");
    return read;
}
