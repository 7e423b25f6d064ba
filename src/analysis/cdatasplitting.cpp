// How the byte-stream guard splits long CDATA sections as the export's bytes pass through it.

#include "markupguard.h"

#include "bytecount.h"

#include <algorithm>

namespace markupguard {

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
    if (unitWidth_ == 0) {
        const qint64 taken = readHead(data, size, output);
        data += taken;
        size -= taken;
        if (unitWidth_ == 0)
            return !violation();
    }
    feedUnits(reinterpret_cast<const unsigned char*>(data), size, output, true);
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
        lines_ +=
            countByte(reinterpret_cast<const char*>(data) + linesCounted, end - linesCounted, '\n');
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
