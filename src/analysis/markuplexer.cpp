#include "markuplexer.h"

#include "xmlchars.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view cdataKeyword = "[CDATA[";

// The byte as a unit of its own: bytes above 0x7F are never markup.
char32_t unitOf(char byte)
{
    return static_cast<unsigned char>(byte);
}

// Whether the keyword read so far can still become `word`.
bool couldBecome(std::string_view keyword, std::string_view word)
{
    return word.starts_with(keyword);
}

} // namespace

qint64 MarkupLexer::scan(const char* data, qint64 size)
{
    event_ = Event::None;
    qint64 i = 0;
    while (i < size && event_ == Event::None) {
        switch (state_) {
        case State::Text:
            i += readText(data + i, size - i);
            continue;
        case State::Quoted:
            i += readQuoted(data + i, size - i);
            continue;
        case State::EndTag:
            i += readEndTag(data + i, size - i);
            continue;
        case State::Comment:
            i += readUntil(data + i, size - i, '-', 2, State::Text);
            continue;
        case State::CData:
            i += readUntil(data + i, size - i, ']', 2, State::Text);
            continue;
        case State::ProcessingInstruction:
            i += readUntil(data + i, size - i, '?', 1, State::Text);
            continue;
        case State::SubsetComment:
            i += readUntil(data + i, size - i, '-', 2, State::Subset);
            continue;
        case State::SubsetInstruction:
            i += readUntil(data + i, size - i, '?', 1, State::Subset);
            continue;
        case State::Open:
            readOpen(data[i]);
            break;
        case State::Keyword:
            // Every item of an export holds a few CDATA sections: a keyword there whole is
            // taken at once.
            if (keyword_.empty() && size - i >= qint64(cdataKeyword.size()) &&
                std::memcmp(data + i, cdataKeyword.data(), cdataKeyword.size()) == 0) {
                keyword_ = cdataKeyword;
                begin(State::CData, Construct::CData);
                i += qint64(cdataKeyword.size());
                continue;
            }
            readKeyword(data[i]);
            break;
        case State::TagName:
        case State::Tag:
            i += readTag(data + i, size - i);
            continue;
        case State::Doctype:
        case State::Declaration:
            readDoctype(data[i]);
            break;
        case State::Subset:
        case State::SubsetDeclaration:
            readSubset(data[i]);
            break;
        case State::SubsetOpen:
            readSubsetOpen(data[i]);
            break;
        }
        ++i;
    }
    return i;
}

void MarkupLexer::begin(State state, Construct construct)
{
    state_ = state;
    construct_ = construct;
    event_ = Event::Begun;
}

void MarkupLexer::end(Construct construct, State next)
{
    state_ = next;
    construct_ = construct;
    event_ = Event::Ended;
}

void MarkupLexer::quote(char byte, State back)
{
    quote_ = byte;
    afterQuote_ = back;
    state_ = State::Quoted;
}

qint64 MarkupLexer::readText(const char* data, qint64 size)
{
    const void* open = std::memchr(data, '<', size_t(size));
    if (open == nullptr)
        return size;
    state_ = State::Open;
    return static_cast<const char*>(open) - data + 1;
}

// Reads up to the end of a construct closed by `count` times `repeated` and then '>'.
qint64 MarkupLexer::readUntil(const char* data, qint64 size, char repeated, int count, State next)
{
    qint64 i = 0;
    while (i < size) {
        if (terminatorMatched_ == 0) {
            const void* found = std::memchr(data + i, repeated, size_t(size - i));
            if (found == nullptr)
                return size;
            i = static_cast<const char*>(found) - data;
        }
        const char byte = data[i++];
        if (byte == repeated) {
            terminatorMatched_ = std::min(terminatorMatched_ + 1, count);
        } else if (byte == '>' && terminatorMatched_ == count) {
            terminatorMatched_ = 0;
            if (next == State::Text)
                end(construct_);
            else
                state_ = next;
            return i;
        } else {
            terminatorMatched_ = 0;
        }
    }
    return size;
}

qint64 MarkupLexer::readQuoted(const char* data, qint64 size)
{
    const void* close = std::memchr(data, quote_, size_t(size));
    if (close == nullptr)
        return size;
    state_ = afterQuote_;
    return static_cast<const char*>(close) - data + 1;
}

void MarkupLexer::appendName(const char* bytes, qint64 count)
{
    if (name_.size() <= nameLimit)
        name_.append(bytes, size_t(qMin<qint64>(count, qint64(nameLimit + 1 - name_.size()))));
}

qint64 MarkupLexer::readEndTag(const char* data, qint64 size)
{
    const auto ends = [](char byte) {
        return byte == '>' || byte == '<' || xmlchars::isSpace(unitOf(byte));
    };
    qint64 i = 0;
    while (i < size) {
        const char byte = data[i];
        // A '<' cuts the tag short and begins what follows.
        if (byte == '>' || byte == '<') {
            end(Construct::EndTag, byte == '<' ? State::Open : State::Text);
            return i + 1;
        }
        if (xmlchars::isSpace(unitOf(byte))) {
            nameDone_ = true;
            ++i;
            continue;
        }
        const qint64 from = i;
        while (i < size && !ends(data[i]))
            ++i;
        if (!nameDone_)
            appendName(data + from, i - from);
    }
    return size;
}

void MarkupLexer::readOpen(char byte)
{
    terminatorMatched_ = 0;
    if (byte == '/') {
        name_.clear();
        nameDone_ = false;
        begin(State::EndTag, Construct::EndTag);
    } else if (byte == '?') {
        begin(State::ProcessingInstruction, Construct::ProcessingInstruction);
    } else if (byte == '!') {
        keyword_.clear();
        state_ = State::Keyword;
    } else if (xmlchars::mayStartName(unitOf(byte))) {
        name_.assign(1, byte);
        slash_ = false;
        begin(State::TagName, Construct::StartTag);
    } else if (byte != '<') {
        state_ = State::Text;
        event_ = Event::Abandoned;
    }
}

void MarkupLexer::readKeyword(char byte)
{
    using namespace std::string_view_literals;
    keyword_.push_back(byte);
    const std::string_view keyword = keyword_;
    if (keyword == "--"sv) {
        begin(State::Comment, Construct::Comment);
    } else if (keyword == cdataKeyword) {
        begin(State::CData, Construct::CData);
    } else if (keyword == "DOCTYPE"sv) {
        begin(State::Doctype, Construct::Doctype);
    } else if (!couldBecome(keyword, "--"sv) && !couldBecome(keyword, cdataKeyword) &&
               !couldBecome(keyword, "DOCTYPE"sv)) {
        begin(State::Declaration, Construct::Declaration);
        // The byte that told may be the declaration's end.
        event_ = Event::None;
        readDoctype(byte);
        if (event_ == Event::None)
            event_ = Event::Begun;
    }
}

// The metadata of an export's items is mostly tags: their bytes are passed over in one loop,
// stopping only where a byte tells something.
qint64 MarkupLexer::readTag(const char* data, qint64 size)
{
    qint64 i = 0;
    if (state_ == State::TagName) {
        for (; i < size; ++i) {
            const char byte = data[i];
            if (xmlchars::isSpace(unitOf(byte)) || byte == '/' || byte == '>' || byte == '<' ||
                xmlchars::isQuote(unitOf(byte)))
                break;
        }
        appendName(data, i);
        if (i == size)
            return size;
        state_ = State::Tag;
    }
    // Between the name and the tag's end only quotes, '>' and '<' tell something; a '/' counts
    // where it is the last byte before the '>'.
    static constexpr auto stops = [] {
        std::array<bool, 256> table{};
        for (const char byte : {'"', '\'', '>', '<'})
            table[static_cast<unsigned char>(byte)] = true;
        return table;
    }();
    const qint64 from = i;
    while (i < size && !stops[static_cast<unsigned char>(data[i])])
        ++i;
    if (i > from)
        slash_ = data[i - 1] == '/';
    if (i == size)
        return size;
    const char byte = data[i];
    if (xmlchars::isQuote(unitOf(byte))) {
        slash_ = false;
        quote(byte, State::Tag);
    } else if (byte == '>') {
        end(slash_ ? Construct::EmptyElementTag : Construct::StartTag);
    } else {
        // A tag left open: libxml2 stops at it; it opened nothing, and the '<' begins what
        // follows.
        end(Construct::EmptyElementTag, State::Open);
    }
    return i + 1;
}

void MarkupLexer::readDoctype(char byte)
{
    if (xmlchars::isQuote(unitOf(byte)))
        quote(byte, state_);
    else if (byte == '[' && state_ == State::Doctype)
        state_ = State::Subset;
    else if (byte == '>')
        end(construct_);
}

// Between the declarations of the internal subset, and inside one of them.
void MarkupLexer::readSubset(char byte)
{
    if (state_ == State::SubsetDeclaration) {
        if (xmlchars::isQuote(unitOf(byte)))
            quote(byte, State::SubsetDeclaration);
        else if (byte == '>')
            state_ = State::Subset;
    } else if (byte == '<') {
        keyword_.clear();
        state_ = State::SubsetOpen;
    } else if (byte == ']') {
        state_ = State::Doctype;
    }
}

void MarkupLexer::readSubsetOpen(char byte)
{
    keyword_.push_back(byte);
    if (keyword_ == "?") {
        terminatorMatched_ = 0;
        state_ = State::SubsetInstruction;
    } else if (keyword_ == "!--") {
        terminatorMatched_ = 0;
        state_ = State::SubsetComment;
    } else if (keyword_ != "!" && keyword_ != "!-") {
        state_ = State::SubsetDeclaration;
        readSubset(byte);
    }
}
