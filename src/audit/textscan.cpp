// The post's text, outside markup: shortcodes and bare URLs that WordPress turns into embeds.
#include "postscanner.h"

#include "analysis/reusedbuffer.h"
#include "bytesearch.h"

#include <QUrl>

#include <cstring>
#include <initializer_list>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

bool isWordPressShortcode(const QString& name)
{
    for (const char* own :
         {"caption", "wp_caption", "gallery", "audio", "video", "playlist", "embed"}) {
        if (name == QLatin1String(own))
            return true;
    }
    return false;
}

// Whether a shortcode's text after its name starts with an attribute: `key=`.
bool startsWithAttribute(QByteArrayView rest)
{
    qsizetype i = 0;
    while (i < rest.size() && isBlank(rest[i]))
        ++i;
    const qsizetype start = i;
    while (i < rest.size() && isNameCharacter(rest[i]))
        ++i;
    if (i == start)
        return false;
    while (i < rest.size() && isBlank(rest[i]))
        ++i;
    return i < rest.size() && rest[i] == '=';
}

// The value of key="value" (or 'value', or a bare value) in a shortcode's attributes.
QByteArray attributeValue(QByteArrayView attributes, QByteArrayView key)
{
    qsizetype i = 0;
    while ((i = attributes.indexOf(key, i)) >= 0) {
        const bool startsName = i == 0 || !isNameCharacter(attributes[i - 1]);
        i += key.size();
        if (!startsName || i >= attributes.size() || attributes[i] != '=')
            continue;
        ++i;
        const char quote = i < attributes.size() && (attributes[i] == '"' || attributes[i] == '\'')
                               ? attributes[i]
                               : 0;
        i += quote != 0;
        const qsizetype start = i;
        while (i < attributes.size() &&
               (quote != 0 ? attributes[i] != quote : !isBlank(attributes[i])))
            ++i;
        return attributes.sliced(start, i - start).toByteArray();
    }
    return {};
}

// prefix is ASCII: a byte that Latin-1 folds to ASCII is ASCII itself, so ASCII's folding is
// Qt's here, without a call for each of a body's thousands of "http".
bool startsWithCaseless(QByteArrayView text, qsizetype at, QByteArrayView prefix)
{
    if (at < 0 || at + prefix.size() > text.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; };
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (lower(text[at + i]) != lower(prefix[i]))
            return false;
    }
    return true;
}

} // namespace

// A shortcode of a name WordPress does not know counts when the post closes it: the closers of
// the whole body are found the first time an opener needs them, so that each opener is judged
// where it stands and none waits. Most posts hold no opener, and never look.
const QSet<HashedString>& PostScanner::shortcodeClosers()
{
    if (!closersFound_) {
        closersFound_ = true;
        findShortcodeClosers();
    }
    return closedShortcodes_;
}

void PostScanner::findShortcodeClosers()
{
    for (qsizetype i = findBytes(body_, 0, "[/"); i >= 0; i = findBytes(body_, i + 2, "[/")) {
        qsizetype end = i + 2;
        while (end < body_.size() && isNameCharacter(body_[end]))
            ++end;
        if (end > i + 2 && end < body_.size() && body_[end] == ']')
            closedShortcodes_.insert({QString::fromUtf8(body_.sliced(i + 2, end - i - 2))});
    }
}

void PostScanner::text(QByteArrayView chunk)
{
    if (rawTextDepth_ > 0)
        return;
    // Only a shortcode is looked for in the text, and nothing before its "[" counts: most text
    // holds none and is never copied.
    if (text_.isEmpty()) {
        const qsizetype bracket = chunk.indexOf('[');
        if (bracket < 0)
            return;
        chunk = chunk.sliced(bracket);
    }
    text_.append(chunk);
}

void PostScanner::flushText(qint64 rawEnd)
{
    if (text_.isEmpty())
        return;
    scanShortcodes(text_, rawEnd);
    emptyForReuse(text_);
}

void PostScanner::scanShortcodes(QByteArrayView text, qint64 rawEnd)
{
    const qsizetype size = text.size();
    // A shortcode written with references ("&#91;") is not found as written; a text of many
    // would be searched from the same place again for each. Past a few searches of the whole
    // text in vain, the rest take the element's place.
    const qint64 rawSpan = qMin<qint64>(rawEnd, body_.size()) - searchFrom_;
    qint64 searchedInVain = 0;
    for (qsizetype i = text.indexOf('['); i >= 0 && i < size; i = text.indexOf('[', i + 1)) {
        if (i > 0 && text[i - 1] == '[') // [[name]] shows a shortcode, escaped
            continue;
        qsizetype j = i + 1;
        const bool closer = j < size && text[j] == '/';
        j += closer;
        const qsizetype nameStart = j;
        while (j < size && isNameCharacter(text[j]))
            ++j;
        if (j == nameStart || j >= size)
            continue;
        const QString name = QString::fromUtf8(text.sliced(nameStart, j - nameStart));
        const char next = text[j];
        if (closer)
            continue;
        if (!isBlank(next) && next != ']' && !(next == '/' && j + 1 < size && text[j + 1] == ']'))
            continue;
        // A shortcode's attributes end at its "]"; one left open is not read past a page.
        const QByteArrayView rest = text.sliced(j, qMin<qsizetype>(size - j, 4096));
        const qsizetype close = rest.indexOf(']');
        const QByteArrayView attributes = close < 0 ? rest : rest.first(close);
        if (!isWordPressShortcode(name) && !startsWithAttribute(attributes) &&
            !shortcodeClosers().contains({name}))
            continue;
        // The text arrives with its references decoded; the place is that of the same
        // characters in the body, which follow the last markup placed and come before the
        // markup that ends the text.
        const QByteArray written = '[' + text.sliced(nameStart, j - nameStart).toByteArray();
        const qsizetype window = qMin<qint64>(body_.size(), rawEnd) - searchFrom_;
        const qsizetype raw = window > 0 && searchedInVain <= 4 * rawSpan
                                  ? findBytes(body_.sliced(searchFrom_, window), 0, written)
                                  : -1;
        const Place place = raw >= 0 ? placeAt(searchFrom_ + raw) : elementPlace();
        if (raw >= 0)
            searchFrom_ += raw + 1;
        else
            searchedInVain += qMax<qsizetype>(window, 1);
        addShortcode(name, attributes, place);
    }
}

void PostScanner::addShortcode(const QString& name, QByteArrayView attributes, Place place)
{
    ++scan_.shortcodes[name];
    addFinding("shortcode", AuditSeverity::Warning, name,
               QStringLiteral("shortcode [%1] left in the text").arg(name), place);
    const auto addId = [&](const QByteArray& id, const QString& attribute) {
        bool isNumber = false;
        const qint64 number = id.trimmed().toLongLong(&isNumber);
        if (isNumber && number > 0)
            scan_.ids.push_back({IdReference::Attachment, QString::number(number),
                                 QLatin1Char('[') + name + QLatin1Char(']'), attribute, place.line,
                                 place.column});
    };
    if (name == QLatin1String("gallery")) {
        for (const QByteArray& id : attributeValue(attributes, "ids").split(','))
            addId(id, QStringLiteral("ids"));
    } else if (name == QLatin1String("caption") || name == QLatin1String("wp_caption")) {
        const QByteArray id = attributeValue(attributes, "id");
        if (id.startsWith("attachment_"))
            addId(id.sliced(11), QStringLiteral("id"));
    }
}

namespace {

// The last place of a byte at or before a place, for places that grow from one call to the next,
// as the search for URLs moves through a body: each byte is looked at once, however many URLs
// ask, where a search back from each would make a body of URLs run together take quadratic time.
class LastByte
{
public:
    explicit LastByte(char byte) : byte_(byte) {}

    qsizetype atOrBefore(QByteArrayView text, qsizetype at)
    {
        if (at < scanned_ - 1)
            return at < 0 ? -1 : text.first(at + 1).lastIndexOf(byte_);
        if (at >= scanned_) {
            if (const void* hit =
                    ::memrchr(text.data() + scanned_, byte_, size_t(at + 1 - scanned_)))
                last_ = static_cast<const char*>(hit) - text.data();
            scanned_ = at + 1;
        }
        return last_;
    }

private:
    char byte_;
    qsizetype scanned_ = 0; // the bytes before this have been looked at
    qsizetype last_ = -1;   // the byte's last place among them
};

} // namespace

// WordPress turns a URL into an embedded player when it stands alone on its line, alone in a
// paragraph or inside [embed]...[/embed]; it reads the post's raw text for that, and so does
// this.
void PostScanner::findBareEmbeds()
{
    LineCounter counter;
    const qsizetype size = body_.size();
    LastByte tagStart('<');
    LastByte shortcodeStart('[');
    // Every URL in one run of URL characters ends where the run does, and what follows it is the
    // same for each: the run is measured once.
    struct Run
    {
        qsizetype end = -1;
        qsizetype lineAfter = 0; // past the spaces and tabs after it
        qsizetype after = 0;     // past every blank after it
    } run;
    // The first "[/embed]" at or after closerFrom (the body's size when there is none).
    qsizetype closer = -1;
    qsizetype closerFrom = 0;
    for (qsizetype i = findBytes(body_, 0, "http"); i >= 0; i = findBytes(body_, i + 1, "http")) {
        // "http" is found as written; an "s" after it in any case, then "://".
        const qsizetype schemeEnd = i + 4 + (i + 4 < size && (body_[i + 4] | 0x20) == 's');
        if (!startsWithCaseless(body_, schemeEnd, "://"))
            continue;
        qsizetype before = i - 1;
        while (before >= 0 && (body_[before] == ' ' || body_[before] == '\t'))
            --before;
        // Most URLs follow a quote or a word, in an attribute or some text, where none is an
        // embed: only one after a line's start, a tag or a shortcode can be.
        if (before >= 0 && !isBlank(body_[before]) && body_[before] != '>' && body_[before] != ']')
            continue;
        if (i >= run.end) {
            run.end = i;
            while (run.end < size && !isBlank(body_[run.end]) && body_[run.end] != '<' &&
                   body_[run.end] != '>' && body_[run.end] != '"')
                ++run.end;
            run.lineAfter = run.end;
            while (run.lineAfter < size &&
                   (body_[run.lineAfter] == ' ' || body_[run.lineAfter] == '\t'))
                ++run.lineAfter;
            run.after = run.lineAfter;
            while (run.after < size && isBlank(body_[run.after]))
                ++run.after;
        }
        qsizetype end = run.end;
        const qsizetype after = run.after;
        bool alone =
            (before < 0 || body_[before] == '\n' || body_[before] == '\r') &&
            (run.lineAfter >= size || body_[run.lineAfter] == '\n' || body_[run.lineAfter] == '\r');
        while (before >= 0 && isBlank(body_[before]))
            --before;
        if (!alone && before >= 0 && body_[before] == '>') {
            const qsizetype tag = tagStart.atOrBefore(body_, before);
            alone =
                (startsWithCaseless(body_, tag, "<p>") || startsWithCaseless(body_, tag, "<p ")) &&
                startsWithCaseless(body_, after, "</p>");
        }
        if (!alone && before >= 0 && body_[before] == ']' &&
            startsWithCaseless(body_, shortcodeStart.atOrBefore(body_, before), "[embed")) {
            // The shortcode's content is the URL: written without blanks around it, as it
            // mostly is, the URL's characters run on into the closer.
            if (closer < 0 || i < closerFrom || i > closer) {
                closerFrom = i;
                closer = body_.indexOf('[', i);
                while (closer >= 0 && !startsWithCaseless(body_, closer, "[/embed]"))
                    closer = body_.indexOf('[', closer + 1);
                if (closer < 0)
                    closer = size;
            }
            if (closer < end) {
                end = closer;
                alone = true;
            } else {
                alone = startsWithCaseless(body_, after, "[/embed]");
            }
        }
        if (!alone)
            continue;
        // The raw text escapes an ampersand as the markup around it does.
        const QString url = QString::fromUtf8(body_.sliced(i, end - i))
                                .replace(QLatin1String("&amp;"), QLatin1String("&"))
                                .replace(QLatin1String("&#038;"), QLatin1String("&"));
        if (embeds_.contains({url}))
            continue;
        embeds_.insert({url});
        counter.advance(body_.data() + counter.position().offset, i - counter.position().offset);
        const QUrl parsed(url);
        addFinding("bare-embed", AuditSeverity::Note, url, parsed.host(),
                   {counter.position().line, counter.position().column});
        i = end - 1;
    }
}
