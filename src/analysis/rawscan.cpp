#include "rawscan.h"

namespace {

constexpr qint64 readSize = 1 << 16;

bool startsName(char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    return (value >= 'a' && value <= 'z') || (value >= 'A' && value <= 'Z') || value == '_' ||
           value == ':' || value >= 0x80;
}

bool endsName(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '>' ||
           byte == '/';
}

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

// Reads a start or end tag from its name on, to its '>', over quoted attribute values.
bool RawScan::skipTagBody(Tag& tag)
{
    for (; need(1) && !endsName(buffer_[at_]); ++at_)
        if (tag.name.size() < 64)
            tag.name.append(buffer_[at_]);
    char quote = 0;
    char previous = 0;
    for (; need(1); ++at_) {
        const char byte = buffer_[at_];
        if (quote != 0) {
            quote = byte == quote ? 0 : quote;
        } else if (byte == '"' || byte == '\'') {
            quote = byte;
        } else if (byte == '>') {
            tag.empty = !tag.closing && previous == '/';
            ++at_;
            return true;
        } else if (byte == '<') {
            // A tag left unclosed: it ends here, having opened nothing.
            tag.empty = !tag.closing;
            return true;
        }
        previous = byte;
    }
    return false;
}

bool RawScan::nextTag(Tag& tag)
{
    while (true) {
        while (true) {
            const qsizetype open = rest().indexOf('<');
            if (open >= 0) {
                at_ += open;
                break;
            }
            at_ = buffer_.size();
            if (!need(1))
                return false;
        }
        tag = Tag{position(), {}, false, false};
        if (!need(9))
            need(2);
        const QByteArrayView markup = rest();
        bool skipped = true;
        if (markup.startsWith("<!--"))
            skipped = skipPast("-->");
        else if (markup.startsWith("<![CDATA["))
            skipped = skipPast("]]>");
        else if (markup.startsWith("<?"))
            skipped = skipPast("?>");
        else if (markup.startsWith("<!"))
            skipped = skipPast(">");
        else if (markup.size() >= 2 && (markup[1] == '/' || startsName(markup[1]))) {
            tag.closing = markup[1] == '/';
            at_ += tag.closing ? 2 : 1;
            return skipTagBody(tag);
        } else
            ++at_; // a '<' in text
        if (!skipped)
            return false;
    }
}
