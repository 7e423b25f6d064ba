#include "bodyposition.h"

#include "markuplexer.h"
#include "utf8sequence.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

// The export's bytes from one offset on, read in pieces, with room to look a few bytes ahead.
class RawReader
{
public:
    // The held bytes are read in place; the file only once they run out.
    RawReader(QIODevice& device, qint64 offset, QByteArrayView held)
        : device_(device), held_(held), next_(offset + held.size())
    {}

    // Makes at least count bytes available unless the file ends first; how many there are.
    qint64 available(qint64 count)
    {
        if (!held_.isEmpty()) {
            if (held_.size() - start_ >= count)
                return held_.size() - start_;
            buffer_ = held_.sliced(start_).toByteArray();
            held_ = {};
            start_ = 0;
        }
        if (buffer_.size() - start_ < count && ok_) {
            buffer_.remove(0, start_);
            start_ = 0;
            const qint64 wanted = std::max<qint64>(count, readSize_);
            readSize_ = std::min<qint64>(readSize_ * 4, 1 << 20);
            const QByteArray more = device_.seek(next_) ? device_.read(wanted) : QByteArray();
            ok_ = !more.isEmpty();
            next_ += more.size();
            buffer_.append(more);
        }
        return buffer_.size() - start_;
    }
    const char* data() const
    {
        return (held_.isEmpty() ? buffer_.constData() : held_.data()) + start_;
    }
    void skip(qint64 count) { start_ += count; }

private:
    QIODevice& device_;
    QByteArrayView held_;
    QByteArray buffer_;
    qsizetype start_ = 0;
    qint64 next_;
    qint64 readSize_ = 4096;
    bool ok_ = true;
};

// The UTF-8 bytes of the character that an entity or character reference stands for.
std::optional<QByteArray> resolveReference(const QByteArray& name)
{
    static const std::pair<const char*, char> predefined[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, character] : predefined) {
        if (name == entity)
            return QByteArray(1, character);
    }
    if (!name.startsWith('#'))
        return std::nullopt;
    bool ok = false;
    const uint code = name.startsWith("#x") ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok);
    if (!ok || code > 0x10FFFF)
        return std::nullopt;
    const char32_t character = code;
    return QString::fromUcs4(&character, 1).toUtf8();
}

// Whether "]]>" stands in the text, found from its ']' bytes: QByteArray's general search costs
// a dozen instructions a byte, and every body of an export is looked through.
bool holdsSectionEnd(QByteArrayView text)
{
    if (text.size() < 3) // also an empty body, which may have no bytes at all
        return false;
    const char* at = text.data();
    const char* const end = at + text.size();
    while ((at = static_cast<const char*>(std::memchr(at, ']', size_t(end - at)))) != nullptr) {
        if (end - at >= 3 && at[1] == ']' && at[2] == '>')
            return true;
        ++at;
    }
    return false;
}

class BodyWalk
{
public:
    BodyWalk(QIODevice& device, const ExportPosition& start, const QByteArray& body,
             QByteArrayView held)
        : raw_(device, start.offset, held), counter_(start), body_(body)
    {}

    // Moves to the raw bytes of body byte `offset`; false when the raw bytes stop matching.
    bool walkTo(qint64 offset);
    ExportPosition position() const { return counter_.position(); }
    // The body bytes matched so far; a walk that failed goes no further than one past them.
    qint64 matched() const { return matched_; }

private:
    bool skipMarkup();
    // Steps over the construct that starts at the next '<'; what it was, nothing when it did not
    // end or was none.
    std::optional<MarkupLexer::Construct> skipConstruct();
    bool matchCharacterData(qint64 offset);
    bool matchReference();
    bool mendedSequence();
    void consume(qint64 count)
    {
        counter_.advance(raw_.data(), count);
        raw_.skip(count);
    }
    bool rawStartsWith(const char* text)
    {
        const auto length = qint64(std::strlen(text));
        return raw_.available(length) >= length &&
               std::memcmp(raw_.data(), text, size_t(length)) == 0;
    }

    RawReader raw_;
    LineCounter counter_;
    const QByteArray& body_;
    qint64 matched_ = 0;
    bool inCData_ = false;
    int nesting_ = 0;
};

bool BodyWalk::walkTo(qint64 offset)
{
    while (matched_ < offset) {
        if (!skipMarkup() || !matchCharacterData(offset))
            return false;
    }
    // Land on the character itself, not on markup before it; the body's end stays where the
    // last character ended.
    return offset >= body_.size() || skipMarkup();
}

bool BodyWalk::skipMarkup()
{
    for (;;) {
        if (inCData_) {
            if (!rawStartsWith("]]>"))
                return true;
            consume(3);
            inCData_ = false;
        } else if (rawStartsWith("<![CDATA[")) {
            consume(9);
            inCData_ = true;
        } else if (rawStartsWith("<")) {
            // Elements inside the body's element add their text, not their tags; comments and
            // processing instructions add nothing.
            if (rawStartsWith("</") && nesting_ == 0)
                return false;
            const std::optional<MarkupLexer::Construct> skipped = skipConstruct();
            if (!skipped)
                return false;
            nesting_ += *skipped == MarkupLexer::Construct::StartTag ? 1
                        : *skipped == MarkupLexer::Construct::EndTag ? -1
                                                                     : 0;
        } else {
            return true;
        }
    }
}

std::optional<MarkupLexer::Construct> BodyWalk::skipConstruct()
{
    MarkupLexer lexer;
    for (;;) {
        const qint64 available = raw_.available(1);
        if (available < 1)
            return std::nullopt;
        const qint64 read = lexer.scan(raw_.data(), available);
        consume(read);
        if (lexer.event() == MarkupLexer::Event::Ended)
            return lexer.construct();
        if (lexer.event() == MarkupLexer::Event::Abandoned)
            return std::nullopt;
    }
}

bool BodyWalk::matchCharacterData(qint64 offset)
{
    const qint64 available = raw_.available(2);
    if (available < 1)
        return false;
    // Bytes that stand for themselves are matched as one run, up to the next byte that may start
    // markup, a reference, a section end, a line end or the U+FFFD of a mended sequence, whose
    // first bytes may be the bytes it replaced.
    const char* raw = raw_.data();
    const char* body = body_.constData() + matched_;
    const qint64 limit = std::min(available, offset - matched_);
    qint64 run = 0;
    while (run < limit && raw[run] == body[run] && raw[run] != '<' && raw[run] != '&' &&
           raw[run] != ']' && raw[run] != '\r' && raw[run] != '\xEF')
        ++run;
    if (run > 0) {
        consume(run);
        matched_ += run;
        return true;
    }
    const char byte = *raw;
    const char expected = body_.at(matched_);
    if (!inCData_ && byte == '&')
        return matchReference();
    if (byte == '\r' && expected == '\n') {
        // The parser gives CR LF and a lone CR back as one LF.
        const bool pair = raw_.available(2) >= 2 && raw_.data()[1] == '\n';
        consume(pair ? 2 : 1);
        ++matched_;
        return true;
    }
    if (expected == '\xEF' && mendedSequence())
        return true;
    if (byte != expected)
        return false;
    consume(1);
    ++matched_;
    return true;
}

bool BodyWalk::mendedSequence()
{
    // Bytes that are not UTF-8 reach the body as one U+FFFD for each maximal invalid
    // subsequence, as the export's repair reads them.
    constexpr QByteArrayView replacement("\xEF\xBF\xBD");
    const qint64 available = raw_.available(4);
    if (available < 1 || !QByteArrayView(body_).sliced(matched_).startsWith(replacement))
        return false;
    const int length =
        utf8::sequenceAt(reinterpret_cast<const unsigned char*>(raw_.data()), available, true);
    if (length >= 0)
        return false;
    consume(-length);
    matched_ += replacement.size();
    return true;
}

bool BodyWalk::matchReference()
{
    constexpr qint64 longestReference = 12; // "&#x10FFFF;" and a little room
    const qint64 available = raw_.available(longestReference);
    const char* data = raw_.data();
    const auto* end = static_cast<const char*>(std::memchr(data, ';', size_t(available)));
    if (end == nullptr)
        return false;
    const std::optional<QByteArray> text = resolveReference(QByteArray(data + 1, end - data - 1));
    if (!text || body_.mid(matched_, text->size()) != *text)
        return false;
    consume(end - data + 1);
    matched_ += text->size();
    return true;
}

} // namespace

ExportPosition locateInExport(QIODevice& exportFile, const ExportPosition& bodyStart,
                              const QByteArray& bodyUtf8, qint64 bodyOffset, QByteArrayView held)
{
    if (!bodyStart.isKnown() || bodyOffset < 0 || bodyOffset > bodyUtf8.size())
        return {};
    BodyWalk walk(exportFile, bodyStart, bodyUtf8, held);
    return walk.walkTo(bodyOffset) ? walk.position() : ExportPosition();
}

class BodyPlaces::Walk
{
public:
    Walk(QIODevice& device, const ExportPosition& start, const QByteArray& body,
         QByteArrayView held)
        : walk(device, start, body, held)
    {}
    BodyWalk walk;
};

BodyPlaces::BodyPlaces(QIODevice& exportFile, const ExportPosition& bodyStart,
                       const QByteArray& bodyUtf8, QByteArrayView held)
    : file_(&exportFile), bodyStart_(bodyStart), body_(&bodyUtf8), held_(held)
{
    if (!bodyStart.isKnown())
        return;
    // The body's bytes as they are in the file, right after the section's opening and right
    // before its end, and none of them a "]]>" that would have ended it (the text of a broken file
    // may hold one): the section is then the whole body and whatever follows it adds nothing. The
    // end is looked for, not assumed: in "<![CDATA[]]>]" the body "]" follows the opening too.
    constexpr QByteArrayView opening("<![CDATA[");
    constexpr QByteArrayView end("]]>");
    const qsizetype size = bodyUtf8.size();
    oneSection_ = held.size() >= opening.size() + size + end.size() && held.startsWith(opening) &&
                  held.sliced(opening.size(), size) == QByteArrayView(bodyUtf8) &&
                  held.sliced(opening.size() + size).startsWith(end) && !holdsSectionEnd(bodyUtf8);
    if (oneSection_) {
        first_ = {bodyStart.offset + opening.size(), bodyStart.line,
                  bodyStart.column + opening.size()};
        return;
    }
    hasCarriageReturn_ = bodyUtf8.contains('\r');
    first_ = locateInExport(exportFile, bodyStart, bodyUtf8, 0, held);
    if (!first_.isKnown())
        first_ = bodyStart;
}

BodyPlaces::~BodyPlaces() = default;
BodyPlaces::BodyPlaces(BodyPlaces&&) noexcept = default;

std::pair<qint64, qint64> BodyPlaces::counted(qint64 line, qint64 column) const
{
    return {first_.line + line - 1, line == 1 ? first_.column + column - 1 : column};
}

std::pair<qint64, qint64> BodyPlaces::at(qint64 line, qint64 column)
{
    if (!first_.isKnown() || line <= 0 || column <= 0)
        return {0, 0};
    if (oneSection_)
        return counted(line, column);
    const qint64 offset = offsetOf(line, column);
    if (offset >= unreachedFrom_)
        return counted(line, column);
    // The walk goes forward only: a place before the last one starts it again, and so does one
    // before a place that it did not reach, which the raw bytes may still give back.
    if (!walk_ || offset < walked_) {
        walk_ = std::make_unique<Walk>(*file_, bodyStart_, *body_, held_);
        walked_ = 0;
    }
    if (!walk_->walk.walkTo(offset)) {
        unreachedFrom_ = std::min(offset, walk_->walk.matched() + 1);
        walk_.reset();
        return counted(line, column);
    }
    walked_ = offset;
    const ExportPosition place = walk_->walk.position();
    return {place.line, place.column};
}

qint64 BodyPlaces::offsetOf(qint64 line, qint64 column)
{
    const QByteArray& body = *body_;
    if (line < cursorLine_) {
        cursorLine_ = 1;
        cursorOffset_ = 0;
    }
    // Lines end as LineCounter ends them: at CR LF, LF or a lone CR, which a reference can put
    // into a body.
    const auto isLineEnd = [](char byte) { return byte == '\n' || byte == '\r'; };
    while (cursorLine_ < line) {
        qsizetype end = cursorOffset_;
        if (hasCarriageReturn_) {
            while (end < body.size() && !isLineEnd(body[end]))
                ++end;
        } else {
            end = body.indexOf('\n', end);
        }
        if (end < 0 || end >= body.size())
            return body.size();
        cursorOffset_ =
            end + 1 + (body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n');
        ++cursorLine_;
    }
    qsizetype at = cursorOffset_;
    for (qint64 skipped = 1; skipped < column && at < body.size() && !isLineEnd(body[at]);
         ++skipped) {
        ++at;
        while (at < body.size() && (static_cast<unsigned char>(body[at]) & 0xC0) == 0x80)
            ++at;
    }
    return at;
}
