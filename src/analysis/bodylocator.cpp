#include "bodylocator.h"

#include <algorithm>
#include <cstring>

namespace {

bool isSpace(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A name longer than this is none of the few the scanner looks for.
constexpr size_t nameLimit = 32;
constexpr qint64 readSize = 1 << 16;

} // namespace

ExportPosition BodyLocator::takeNextItem()
{
    if (items_.empty())
        return {};
    const ExportPosition next = items_.front();
    items_.pop_front();
    return next;
}

void BodyLocator::feed(const char* data, qint64 size)
{
    chunk_ = data;
    qint64 i = 0;
    while (i < size) {
        switch (state_) {
        case State::Text:
            i += feedText(data + i, size - i);
            continue;
        case State::CData:
            i += feedUntil(data + i, size - i, ']', 2);
            continue;
        case State::Comment:
            i += feedUntil(data + i, size - i, '-', 2);
            continue;
        case State::ProcessingInstruction:
            i += feedUntil(data + i, size - i, '?', 1);
            continue;
        case State::MarkupOpen:
            feedMarkupOpen(data[i]);
            break;
        case State::StartTag:
        case State::StartTagQuoted:
            feedStartTag(data[i], chunkStart_ + i);
            break;
        case State::EndTag:
            feedEndTag(data[i]);
            break;
        case State::Doctype:
            feedDoctype(data[i]);
            break;
        }
        ++i;
    }
    counterTo(chunkStart_ + size);
    chunkStart_ += size;
    chunk_ = nullptr;
}

qint64 BodyLocator::feedText(const char* data, qint64 size)
{
    const void* open = std::memchr(data, '<', size_t(size));
    if (open == nullptr)
        return size;
    state_ = State::MarkupOpen;
    markup_.clear();
    return static_cast<const char*>(open) - data + 1;
}

// Passes bytes up to the end of a construct closed by `count` times `repeated` and then '>'.
qint64 BodyLocator::feedUntil(const char* data, qint64 size, char repeated, int count)
{
    qint64 i = 0;
    while (i < size) {
        if (terminatorMatched_ == 0) {
            const void* next = std::memchr(data + i, repeated, size_t(size - i));
            if (next == nullptr)
                return size;
            i = static_cast<const char*>(next) - data;
        }
        const char byte = data[i++];
        if (byte == repeated) {
            terminatorMatched_ = std::min(terminatorMatched_ + 1, count);
        } else if (byte == '>' && terminatorMatched_ == count) {
            terminatorMatched_ = 0;
            state_ = State::Text;
            return i;
        } else {
            terminatorMatched_ = 0;
        }
    }
    return size;
}

void BodyLocator::feedMarkupOpen(char byte)
{
    markup_.push_back(byte);
    if (markup_ == "/") {
        state_ = State::EndTag;
        markup_.clear();
    } else if (markup_ == "?") {
        state_ = State::ProcessingInstruction;
    } else if (markup_ == "!--") {
        state_ = State::Comment;
    } else if (markup_ == "![CDATA[") {
        state_ = State::CData;
    } else if (markup_.size() >= 8 && startsWith(markup_, "!DOCTYPE")) {
        state_ = State::Doctype;
        subsetDepth_ = 0;
        feedDoctype(byte);
    } else if (markup_.front() == '!') {
        if (markup_.size() > 8)
            state_ = State::Doctype; // some other declaration: read to its '>'
    } else {
        state_ = State::StartTag;
        nameDone_ = false;
        emptyElement_ = false;
        markup_.clear();
        feedStartTag(byte, -1);
    }
}

void BodyLocator::feedStartTag(char byte, qint64 offset)
{
    if (state_ == State::StartTagQuoted) {
        if (byte == quote_)
            state_ = State::StartTag;
        return;
    }
    if (byte == '>') {
        state_ = State::Text;
        if (!emptyElement_)
            openElement(offset + 1);
        else if (depth_ == 2 && inChannel_ && markup_ == "item")
            items_.push_back({});
        return;
    }
    emptyElement_ = byte == '/';
    if (byte == '"' || byte == '\'') {
        quote_ = byte;
        state_ = State::StartTagQuoted;
    } else if (!nameDone_ && (isSpace(byte) || byte == '/')) {
        nameDone_ = true;
    } else if (!nameDone_ && markup_.size() <= nameLimit) {
        markup_.push_back(byte);
    }
}

void BodyLocator::feedEndTag(char byte)
{
    if (byte == '>') {
        state_ = State::Text;
        closeElement();
    }
}

void BodyLocator::feedDoctype(char byte)
{
    if (quote_ != 0) {
        if (byte == quote_)
            quote_ = 0;
    } else if (byte == '"' || byte == '\'') {
        quote_ = byte;
    } else if (byte == '[') {
        ++subsetDepth_;
    } else if (byte == ']') {
        --subsetDepth_;
    } else if (byte == '>' && subsetDepth_ <= 0) {
        state_ = State::Text;
    }
}

void BodyLocator::openElement(qint64 offsetAfterTag)
{
    if (depth_ == 0) {
        rootIsRss_ = markup_ == "rss";
    } else if (depth_ == 1) {
        inChannel_ = rootIsRss_ && markup_ == "channel";
    } else if (depth_ == 2 && inChannel_ && markup_ == "item") {
        inItem_ = true;
        currentBody_ = {};
    } else if (depth_ == 3 && inItem_ && !currentBody_.isKnown() && markup_ == "content:encoded") {
        counterTo(offsetAfterTag);
        currentBody_ = counter_.position();
    }
    ++depth_;
}

void BodyLocator::closeElement()
{
    --depth_;
    if (depth_ == 2 && inItem_) {
        items_.push_back(currentBody_);
        inItem_ = false;
    }
}

void BodyLocator::counterTo(qint64 offset)
{
    // Bytes before this chunk have all been counted when the previous chunk ended.
    const qint64 from = counter_.position().offset;
    if (offset > from)
        counter_.advance(chunk_ + (from - chunkStart_), offset - from);
}

ExportPosition BodyStartReader::next()
{
    while (!locator_.hasItem() && !ended_) {
        // Keep the piece before, for a body that starts in it.
        const qsizetype keep = std::min<qsizetype>(held_.size(), readSize);
        held_.remove(0, held_.size() - keep);
        heldStart_ = offset_ - keep;
        held_.resize(keep + readSize);
        const qint64 read =
            file_.seek(offset_) ? file_.read(held_.data() + keep, readSize) : qint64(-1);
        held_.resize(keep + std::max<qint64>(read, 0));
        if (read <= 0) {
            ended_ = true;
            break;
        }
        locator_.feed(held_.constData() + keep, read);
        offset_ += read;
    }
    return locator_.takeNextItem();
}

QByteArrayView BodyStartReader::heldFrom(qint64 offset) const
{
    if (offset < heldStart_ || offset > heldStart_ + held_.size())
        return {};
    return QByteArrayView(held_).sliced(offset - heldStart_);
}
