#include "rawscan.h"

namespace {

constexpr qint64 readSize = 1 << 16;

} // namespace

RawScan::RawScan(QIODevice& file, ExportPosition start) : file_(file), counter_(start)
{
    ended_ = !file_.seek(start.offset);
}

void RawScan::countTo(qsizetype index)
{
    counter_.advance(buffer_.constData() + counted_, index - counted_);
    counted_ = index;
}

ExportPosition RawScan::position()
{
    countTo(at_);
    return counter_.position();
}

bool RawScan::need(qsizetype count)
{
    while (buffer_.size() - at_ < count && !ended_) {
        countTo(at_);
        buffer_.remove(0, at_);
        counted_ = at_ = 0;
        const qsizetype size = buffer_.size();
        buffer_.resize(size + readSize);
        const qint64 read = file_.read(buffer_.data() + size, readSize);
        buffer_.resize(size + std::max<qint64>(read, 0));
        ended_ = read <= 0;
    }
    return buffer_.size() - at_ >= count;
}

bool RawScan::skipPast(QByteArrayView text)
{
    while (true) {
        const qsizetype found = rest().indexOf(text);
        if (found >= 0) {
            at_ += found + text.size();
            return true;
        }
        // Keeps what may be the start of text, and reads on.
        at_ = std::max(at_, buffer_.size() - text.size() + 1);
        if (!need(text.size()))
            return false;
    }
}

bool RawScan::nextTag(Tag& tag)
{
    using Construct = MarkupLexer::Construct;
    while (need(1)) {
        const qsizetype from = at_;
        at_ += lexer_.scan(buffer_.constData() + at_, buffer_.size() - at_);
        const MarkupLexer::Event event = lexer_.event();
        const Construct construct = lexer_.construct();
        if (event == MarkupLexer::Event::None && buffer_[at_ - 1] == '<') {
            // Where a tag starts, should its name come with the next bytes.
            countTo(at_ - 1);
            tagStart_ = counter_.position();
        } else if (event == MarkupLexer::Event::Begun && at_ - from >= 2 &&
                   (construct == Construct::StartTag || construct == Construct::EndTag)) {
            // The '<' came right before the name or the '/'.
            countTo(at_ - 2);
            tagStart_ = counter_.position();
        } else if (event == MarkupLexer::Event::Ended &&
                   (construct == Construct::StartTag || construct == Construct::EmptyElementTag ||
                    construct == Construct::EndTag)) {
            tag = Tag{tagStart_, QByteArray::fromStdString(lexer_.name()),
                      construct == Construct::EndTag, construct == Construct::EmptyElementTag};
            if (buffer_[at_ - 1] == '<') {
                // Cut short: the '<' begins what follows, read afresh.
                --at_;
                lexer_ = MarkupLexer();
            }
            return true;
        }
    }
    return false;
}
