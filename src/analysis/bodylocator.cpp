#include "bodylocator.h"

#include <algorithm>

namespace {

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
    for (qint64 i = 0; i < size;) {
        i += lexer_.scan(data + i, size - i);
        if (lexer_.event() != MarkupLexer::Event::Ended)
            continue;
        switch (lexer_.construct()) {
        case MarkupLexer::Construct::StartTag:
            openElement(chunkStart_ + i);
            break;
        case MarkupLexer::Construct::EmptyElementTag:
            if (depth_ == 2 && inChannel_ && lexer_.name() == "item")
                items_.push_back({});
            break;
        case MarkupLexer::Construct::EndTag:
            closeElement();
            break;
        default:
            break;
        }
    }
    counterTo(chunkStart_ + size);
    chunkStart_ += size;
    chunk_ = nullptr;
}

void BodyLocator::openElement(qint64 offsetAfterTag)
{
    const std::string& name = lexer_.name();
    if (depth_ == 0) {
        rootIsRss_ = name == "rss";
    } else if (depth_ == 1) {
        inChannel_ = rootIsRss_ && name == "channel";
    } else if (depth_ == 2 && inChannel_ && name == "item") {
        inItem_ = true;
        currentBody_ = {};
    } else if (depth_ == 3 && inItem_ && !currentBody_.isKnown() && name == "content:encoded") {
        counterTo(offsetAfterTag);
        currentBody_ = counter_.position();
    }
    ++depth_;
}

void BodyLocator::closeElement()
{
    // An item ends at its own end tag only. In a post whose CDATA section was ended early by a
    // `]]>` in its text, the rest of the body is read as markup whose end tags need not match;
    // counting them would leave the item early and lose every later item's place.
    if (inItem_) {
        if (lexer_.name() == "item") {
            depth_ = 2;
            items_.push_back(currentBody_);
            inItem_ = false;
        } else if (depth_ > 3) {
            --depth_;
        }
        return;
    }
    --depth_;
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

BodyPlaces BodyStartReader::placesOf(const ExportPosition& bodyStart, const QByteArray& bodyUtf8)
{
    return BodyPlaces(file_, bodyStart, bodyUtf8,
                      bodyStart.isKnown() ? heldFrom(bodyStart.offset) : QByteArrayView());
}

QByteArrayView BodyStartReader::heldFrom(qint64 offset) const
{
    if (offset < heldStart_ || offset > heldStart_ + held_.size())
        return {};
    return QByteArrayView(held_).sliced(offset - heldStart_);
}
