#include "markupguard.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace markupguard {

namespace {

bool isNameStart(char32_t unit)
{
    return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') || unit == '_' ||
           unit == ':' || unit >= 0x80;
}

bool isQuote(char32_t unit)
{
    return unit == '"' || unit == '\'';
}

// Whether the keyword read so far can still become `word`.
bool couldBecome(const char* keyword, int length, const char* word)
{
    return int(std::strlen(word)) >= length && std::strncmp(keyword, word, size_t(length)) == 0;
}

bool is(const char* keyword, int length, const char* word)
{
    return int(std::strlen(word)) == length && std::strncmp(keyword, word, size_t(length)) == 0;
}

} // namespace

void Guard::fail(qint64 offset, QString reason)
{
    violation_ = Violation{offset, std::move(reason)};
}

void Guard::enter(State state)
{
    state_ = state;
    previous_[0] = previous_[1] = 0;
}

bool Guard::endsWith(char32_t a, char32_t b, char32_t unit) const
{
    return unit == '>' && previous_[0] == a && previous_[1] == b;
}

void Guard::checkMarkupLength()
{
    if (markupLengthLimit_ <= 0)
        return;
    const bool inDoctype = state_ >= State::Doctype;
    const qint64 start = inDoctype ? doctypeStart_ : markupStart_;
    const bool bounded = inDoctype || state_ == State::Comment || state_ == State::StartTag ||
                         state_ == State::StartTagQuoted || state_ == State::ProcessingInstruction;
    if (bounded && position_ - start >= markupLengthLimit_)
        fail(start, QStringLiteral("Excessive length of markup: more than %1 characters in one "
                                   "comment, tag, processing instruction or document type "
                                   "declaration")
                        .arg(markupLengthLimit_));
}

bool Guard::cdataSplitPoint(qint64 length)
{
    // A unit after which no "]]>" can be under way, and that ends a character of its own.
    const char32_t last = previous_[1];
    const bool safe = last == '>' || (last < 0x80 && last != ']');
    if (state_ != State::CData || !safe || position_ - cdataPieceStart_ < length)
        return false;
    cdataPieceStart_ = position_;
    return true;
}

bool Guard::feed(char32_t unit)
{
    if (violation_)
        return false;
    ++position_;
    switch (state_) {
    case State::Text:
        if (unit == '<') {
            markupStart_ = position_;
            enter(State::TagOpen);
        }
        break;
    case State::TagOpen:
        if (unit == '!') {
            keywordLength_ = 0;
            enter(State::Declaration);
        } else if (unit == '?') {
            enter(State::ProcessingInstruction);
        } else if (isNameStart(unit)) {
            attributes_ = 0;
            enter(State::StartTag);
        } else if (unit == '/') {
            depth_ = std::max(0, depth_ - 1);
            enter(State::Text);
        } else if (unit != '<') {
            enter(State::Text);
        } else {
            markupStart_ = position_;
        }
        break;
    case State::Declaration:
        feedDeclaration(unit);
        break;
    case State::Comment:
        if (endsWith('-', '-', unit))
            enter(State::Text);
        break;
    case State::CData:
        if (endsWith(']', ']', unit))
            enter(State::Text);
        break;
    case State::ProcessingInstruction:
        if (unit == '>' && previous_[1] == '?')
            enter(State::Text);
        break;
    case State::StartTag:
        if (isQuote(unit)) {
            quote_ = unit;
            state_ = State::StartTagQuoted;
        } else if (unit == '=') {
            if (++attributes_ > attributeLimit)
                fail(markupStart_, QStringLiteral("Excessive number of attributes: more than %1 "
                                                  "on one element")
                                       .arg(attributeLimit));
        } else if (unit == '>') {
            if (previous_[1] != '/' && ++depth_ > depthLimit_ && depthLimit_ > 0)
                fail(markupStart_, QStringLiteral("Excessive depth in document: %1 use "
                                                  "XML_PARSE_HUGE option")
                                       .arg(depthLimit_));
            enter(State::Text);
        } else if (unit == '<') {
            markupStart_ = position_;
            enter(State::TagOpen);
        }
        break;
    case State::StartTagQuoted:
        if (unit == quote_)
            state_ = State::StartTag;
        break;
    case State::Doctype:
        if (isQuote(unit)) {
            quote_ = unit;
            state_ = State::DoctypeQuoted;
        } else if (unit == '[') {
            enter(State::Subset);
        } else if (unit == '>') {
            enter(State::Text);
        }
        break;
    case State::DoctypeQuoted:
        if (unit == quote_)
            state_ = State::Doctype;
        break;
    case State::Subset:
        if (unit == '<') {
            markupStart_ = position_;
            enter(State::SubsetOpen);
        } else if (unit == '%') {
            stateAfterPercent_ = State::Subset;
            state_ = State::SubsetPercent;
        } else if (unit == ']') {
            enter(State::Doctype);
        }
        break;
    case State::SubsetOpen:
        if (unit == '!') {
            keywordLength_ = 0;
            enter(State::SubsetKeyword);
        } else if (unit == '?') {
            enter(State::SubsetProcessingInstruction);
        } else {
            enter(State::SubsetMarkup);
        }
        break;
    case State::SubsetKeyword:
        if (!feedSubsetKeyword(unit))
            break;
        // The unit after the keyword belongs to the declaration.
        [[fallthrough]];
    case State::SubsetMarkup:
        if (isQuote(unit)) {
            quote_ = unit;
            literalMarkup_ = 0;
            state_ = State::SubsetLiteral;
            // Every default that a DTD gives an attribute is a quoted literal of an ATTLIST.
            if (inAttributeList_ && ++attributeDefaults_ > attributeDefaultLimit)
                fail(markupStart_, QStringLiteral("Excessive number of attribute defaults: more "
                                                  "than %1 in the document type declaration")
                                       .arg(attributeDefaultLimit));
        } else if (unit == '%') {
            stateAfterPercent_ = State::SubsetMarkup;
            state_ = State::SubsetPercent;
        } else if (unit == '>') {
            inAttributeList_ = false;
            enter(State::Subset);
        }
        break;
    case State::SubsetPercent:
        // "<!ENTITY % name" declares a parameter entity; "%name;" uses one, and what it stands
        // for is read by libxml2 alone, out of this guard's sight.
        if (isNameStart(unit)) {
            fail(position_ - 1, QStringLiteral("Parameter entity reference in the document "
                                               "type declaration: not read"));
        } else {
            state_ = stateAfterPercent_;
        }
        break;
    case State::SubsetLiteral:
        // An entity's text becomes markup where the entity is used, and each attribute there
        // needs a '=' written out or as a character reference; so does each nested reference.
        if (unit == quote_) {
            state_ = State::SubsetMarkup;
        } else if ((unit == '=' || unit == '&') && ++literalMarkup_ > attributeLimit) {
            fail(markupStart_, QStringLiteral("Excessive number of attributes: more than %1 in "
                                              "one entity of the document type declaration")
                                   .arg(attributeLimit));
        }
        break;
    case State::SubsetComment:
        if (endsWith('-', '-', unit))
            enter(State::Subset);
        break;
    case State::SubsetProcessingInstruction:
        if (unit == '>' && previous_[1] == '?')
            enter(State::Subset);
        break;
    }
    previous_[0] = previous_[1];
    previous_[1] = unit;
    if (!violation_)
        checkMarkupLength();
    return !violation_;
}

qint64 Guard::passable(const unsigned char* data, qint64 size) const
{
    if (violation_ || size <= 0)
        return 0;
    // The bytes that may change the state, by state; NUL always stops a run.
    const auto scanTo = [&](auto stops) {
        qint64 length = 0;
        while (length < size && data[length] != 0 && !stops(data[length]))
            ++length;
        return length;
    };
    qint64 length = 0;
    bool bounded = true;
    switch (state_) {
    case State::Text:
    case State::CData: {
        bounded = false;
        const int stop = state_ == State::Text ? '<' : '>';
        const void* found = std::memchr(data, stop, size_t(size));
        length = found ? static_cast<const unsigned char*>(found) - data : size;
        // A long CDATA section without '>' (a data: URI, say) still needs its split points.
        if (state_ == State::CData)
            length = std::min(
                length, std::max<qint64>(0, cdataPieceStart_ + cdataPieceLength - position_ - 1));
        if (const void* nul = std::memchr(data, 0, size_t(length)))
            length = static_cast<const unsigned char*>(nul) - data;
        break;
    }
    case State::Comment:
    case State::ProcessingInstruction:
        length = scanTo([](unsigned char byte) { return byte == '>'; });
        break;
    case State::StartTag:
        length = scanTo([](unsigned char byte) {
            return byte == '"' || byte == '\'' || byte == '=' || byte == '>' || byte == '<';
        });
        break;
    case State::StartTagQuoted:
        length = scanTo([this](unsigned char byte) { return byte == quote_; });
        break;
    default:
        return 0;
    }
    // The unit at which a bounded construct reaches its limit goes through feed(), which
    // reports it.
    if (bounded && markupLengthLimit_ > 0)
        length = std::min(length,
                          std::max<qint64>(0, markupStart_ + markupLengthLimit_ - position_ - 2));
    return length;
}

void Guard::pass(const unsigned char* data, qint64 count)
{
    if (count <= 0)
        return;
    position_ += count;
    previous_[0] = count >= 2 ? data[count - 2] : previous_[1];
    previous_[1] = data[count - 1];
}

void Guard::feedDeclaration(char32_t unit)
{
    if (keywordLength_ < int(sizeof keyword_))
        keyword_[keywordLength_++] = char(unit < 0x80 ? unit : 0);
    if (is(keyword_, keywordLength_, "--")) {
        enter(State::Comment);
    } else if (is(keyword_, keywordLength_, "[CDATA[")) {
        cdataPieceStart_ = position_;
        enter(State::CData);
    } else if (is(keyword_, keywordLength_, "DOCTYPE")) {
        doctypeStart_ = markupStart_;
        enter(State::Doctype);
    } else if (!couldBecome(keyword_, keywordLength_, "--") &&
               !couldBecome(keyword_, keywordLength_, "[CDATA[") &&
               !couldBecome(keyword_, keywordLength_, "DOCTYPE")) {
        // Not XML; libxml2 reports it. Read on as text, minding a '<' that starts a tag.
        if (unit == '<') {
            markupStart_ = position_;
            enter(State::TagOpen);
        } else {
            enter(State::Text);
        }
    }
}

bool Guard::feedSubsetKeyword(char32_t unit)
{
    if (unit >= 'A' && unit <= 'Z' && keywordLength_ < int(sizeof keyword_)) {
        keyword_[keywordLength_++] = char(unit);
        return false;
    }
    if (unit == '-' && keywordLength_ < 2 && (keywordLength_ == 0 || keyword_[0] == '-')) {
        keyword_[keywordLength_++] = '-';
        if (keywordLength_ == 2)
            enter(State::SubsetComment);
        return false;
    }
    inAttributeList_ = is(keyword_, keywordLength_, "ATTLIST");
    enter(State::SubsetMarkup);
    return true;
}

std::optional<Violation> firstViolation(const char* data, qint64 size)
{
    // Outside a document type declaration the only limit a text can break is the number of
    // attributes on one element, and each attribute needs a '='. Most post bodies hold far fewer
    // than the limit in all, and counting them is much cheaper than reading the markup.
    const QByteArrayView text(data, size);
    if (text.count('=') <= attributeLimit && !text.contains("<!DOCTYPE"))
        return std::nullopt;
    Guard guard;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (qint64 i = 0; i < size;) {
        if (const qint64 run = guard.passable(bytes + i, size - i)) {
            guard.pass(bytes + i, run);
            i += run;
        } else if (!guard.feed(bytes[i++])) {
            break;
        }
    }
    return guard.violation();
}

namespace {

struct Detected
{
    int width;
    bool bigEndian;
};

// The unit width from an export's first four bytes, as XML's own autodetection finds it.
Detected detect(const unsigned char* b)
{
    if (b[0] == 0 && b[1] == 0 && ((b[2] == 0xFE && b[3] == 0xFF) || (b[2] == 0 && b[3] == '<')))
        return {4, true};
    if ((b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) ||
        (b[0] == '<' && b[1] == 0 && b[2] == 0 && b[3] == 0))
        return {4, false};
    if ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] == '?'))
        return {2, true};
    if ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == '<' && b[1] == 0 && b[2] == '?' && b[3] == 0))
        return {2, false};
    return {1, false};
}

// Encodings in which every byte below 0x80 is the ASCII character it looks like, at least for the
// bytes of markup, so that the guard reads the same markup as libxml2. Others (UTF-7, the
// ISO-2022 family, EBCDIC...) hide markup from the guard and are refused.
bool isAsciiTransparent(const QByteArray& encoding)
{
    // Code pages by number only where they are ASCII-based: the EBCDIC ones (37, 273-297, 420,
    // 424, 500, 870-875, 1026, 1140-1149) and Unicode ones (1200, 65000...) are left out.
    static const QRegularExpression known(
        QStringLiteral("^(UTF-?8|US-ASCII|ASCII|ISO[-_]?8859-\\d+|ISO-LATIN-\\d|LATIN-?\\d|L\\d|"
                       "(WINDOWS|CP)-?(437|7\\d\\d|8[0-6]\\d|874|932|936|949|950|125\\d)|"
                       "WINDOWS-31J|KOI8-[A-Z]+|SHIFT[-_]JIS|SJIS|MS_KANJI|EUC-?[A-Z]+|GB2312|GBK|"
                       "GB18030|BIG-?5(-HKSCS)?|TIS-620|MAC(INTOSH|ROMAN)?)$"),
        QRegularExpression::CaseInsensitiveOption);
    return known.match(QString::fromLatin1(encoding).trimmed()).hasMatch();
}

} // namespace

void ByteStreamGuard::readDeclaration(char32_t unit)
{
    static const char byteOrderMark[] = "\xEF\xBB\xBF";
    if (declaration_.isEmpty() && bomSkipped_ < 3 && char(unit) == byteOrderMark[bomSkipped_]) {
        ++bomSkipped_;
        return;
    }
    declaration_.append(char(unit));
    static const QByteArray start = "<?xml";
    const qsizetype compared = std::min(declaration_.size(), start.size());
    if (declaration_.left(compared) != start.left(compared)) {
        declarationRead_ = true; // no declaration: UTF-8
        return;
    }
    if (!declaration_.endsWith("?>"))
        return;
    declarationRead_ = true;
    static const QRegularExpression encodingPattern(
        QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
    const QRegularExpressionMatch match = encodingPattern.match(QString::fromLatin1(declaration_));
    if (match.hasMatch() && !isAsciiTransparent(match.captured(1).toLatin1()))
        refused_ =
            Violation{0, QStringLiteral("The encoding %1 is not supported").arg(match.captured(1))};
}

qint64 ByteStreamGuard::unitsInsertedBefore(qint64 line, qint64 offset) const
{
    auto at = std::lower_bound(splits_.begin(), splits_.end(), line,
                               [](const Split& split, qint64 value) { return split.line < value; });
    qint64 units = 0;
    for (; at != splits_.end() && at->line == line && at->offset < offset; ++at)
        units += splitMarkerLength;
    return units;
}

bool ByteStreamGuard::feed(const char* data, qint64 size, QByteArray& output)
{
    const qsizetype outputBefore = output.size();
    const bool written = feedBytes(data, size, output);
    outputOffset_ += output.size() - outputBefore;
    return written;
}

bool ByteStreamGuard::feedBytes(const char* data, qint64 size, QByteArray& output)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (unitWidth_ == 0) {
        // The first bytes pass through unguarded until the encoding is known; nothing in four
        // bytes can need guarding.
        const qint64 taken = std::min<qint64>(size, 4 - head_.size());
        head_.append(data, taken);
        output.append(data, taken);
        lines_ += std::count(data, data + taken, '\n');
        bytes += taken;
        size -= taken;
        if (head_.size() < 4)
            return true;
        const auto* head = reinterpret_cast<const unsigned char*>(head_.constData());
        if (head[0] == 0x4C && head[1] == 0x6F && head[2] == 0xA7 && head[3] == 0x94) {
            refused_ = Violation{0, QStringLiteral("EBCDIC is not supported")};
            return false;
        }
        const Detected detected = detect(head);
        unitWidth_ = detected.width;
        bigEndian_ = detected.bigEndian;
        // Files of wider units are decoded by libxml2 as UTF-16 or UCS-4, whatever they declare.
        declarationRead_ = unitWidth_ != 1;
        QByteArray ignored;
        feedUnits(reinterpret_cast<const unsigned char*>(head_.constData()), 4, ignored, false);
    }
    feedUnits(bytes, size, output, true);
    return !violation();
}

void ByteStreamGuard::feedUnits(const unsigned char* data, qint64 size, QByteArray& output,
                                bool counted)
{
    // Lines are counted, for byte-oriented files, only as far as split points need them.
    counted = counted && unitWidth_ == 1;
    const qsizetype outputStart = output.size();
    qint64 linesCounted = 0;
    const auto linesUpTo = [&](qint64 end) {
        lines_ += std::count(data + linesCounted, data + end, '\n');
        linesCounted = end;
    };
    qint64 copied = 0;
    for (qint64 i = 0; i < size && !violation(); ++i) {
        if (unitWidth_ == 1 && declarationRead_) {
            if (const qint64 run = guard_.passable(data + i, size - i)) {
                guard_.pass(data + i, run);
                i += run - 1;
                continue;
            }
        }
        partial_[partialCount_++] = data[i];
        if (partialCount_ < unitWidth_)
            continue;
        partialCount_ = 0;
        char32_t unit = 0;
        for (int k = 0; k < unitWidth_; ++k) {
            const int shift = 8 * (bigEndian_ ? unitWidth_ - 1 - k : k);
            unit |= char32_t(partial_[k]) << shift;
        }
        // NUL never occurs in XML text; skipping it lets byte-wise reading see the markup of a
        // UTF-16 text that came without a byte-order mark.
        if (unitWidth_ == 1 && unit == 0)
            continue;
        if (!declarationRead_) {
            readDeclaration(unit);
            if (refused_)
                break;
        }
        guard_.feed(unit);
        if (guard_.cdataSplitPoint(cdataPieceLength)) {
            output.append(reinterpret_cast<const char*>(data) + copied, i + 1 - copied);
            copied = i + 1;
            if (counted) {
                linesUpTo(i + 1);
                splits_.push_back({lines_ + 1, outputOffset_ + output.size() - outputStart});
            }
            for (const char marker : QByteArrayView(splitMarker))
                appendUnit(char32_t(marker), output);
        }
    }
    output.append(reinterpret_cast<const char*>(data) + copied, size - copied);
    if (counted)
        linesUpTo(size);
}

void ByteStreamGuard::appendUnit(char32_t unit, QByteArray& output) const
{
    for (int k = 0; k < unitWidth_; ++k) {
        const int shift = 8 * (bigEndian_ ? unitWidth_ - 1 - k : k);
        output.append(char((unit >> shift) & 0xFF));
    }
}

} // namespace markupguard
