// The guard's ways through whole runs of bytes: the runs that change nothing but the position,
// and whole texts.

#include "markupguard.h"

#include "bytecount.h"

#include <algorithm>
#include <cstring>

namespace markupguard {

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
        // A CDATA section can only end at a ']' or at the '>' right after "]]": HTML bodies are
        // full of '>', and stopping at each would cost a call of feed() per tag.
        if (state_ == State::CData && previous_[1] == ']')
            return 0;
        // The search is bounded before it starts: the units that stop a run (a NUL, a unit at
        // which a CDATA section may be split) can come one after another, and searching the
        // whole input again for each of them would take quadratic time.
        length = std::min<qint64>(size, cdataPieceLength);
        // A long CDATA section without '>' (a data: URI, say) still needs its split points.
        if (state_ == State::CData)
            length = std::min(
                length, std::max<qint64>(0, cdataPieceStart_ + cdataPieceLength - position_ - 1));
        const int stop = state_ == State::Text ? '<' : ']';
        if (const void* found = std::memchr(data, stop, size_t(length)))
            length = static_cast<const unsigned char*>(found) - data;
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

std::optional<Violation> Guard::scan(const char* data, qint64 size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (qint64 i = 0; i < size;) {
        if (const qint64 run = passable(bytes + i, size - i)) {
            pass(bytes + i, run);
            i += run;
        } else if (!feed(bytes[i++])) {
            break;
        }
    }
    return violation_;
}

std::optional<Violation> firstViolation(const char* data, qint64 size)
{
    // Outside a document type declaration the only limit a text can break is the number of
    // attributes on one element, and each attribute needs a '='. Most post bodies hold far fewer
    // than the limit in all, and counting them is much cheaper than reading the markup.
    // A wrapped body starts with the declaration and the wrapper's tag, so that no document type
    // declaration can come into force.
    if (countByte(data, size, '=') <= attributeLimit)
        return std::nullopt;
    return Guard().scan(data, size);
}

} // namespace markupguard
