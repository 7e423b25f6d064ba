// The byte-stream guard: how it learns the encoding of an export (the width and byte order of its
// units from the first four bytes, and for byte-oriented files the encoding its declaration
// names), and how it splits long CDATA sections as the export's bytes pass through it.

#include "markupguard.h"

#include "bytecount.h"
#include "prologreader.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace markupguard {

namespace {

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

// How many continuation bytes of a UTF-8 character are still to come after the bytes, given how
// many were before them. A character has at most four bytes, so the last four tell.
int utf8PendingAfter(int pending, const unsigned char* data, qint64 count)
{
    if (count > 4) {
        data += count - 4;
        count = 4;
        pending = 0;
    }
    for (qint64 k = 0; k < count; ++k) {
        const unsigned char byte = data[k];
        if (byte < 0x80)
            pending = 0;
        else if (byte >= 0xC0)
            pending = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : 1;
        else if (pending > 0)
            --pending;
    }
    return pending;
}

// How many of the bytes, which are valid UTF-8, there are up to the end of their last whole
// character.
qint64 wholeCharacters(const unsigned char* data, qint64 count)
{
    qint64 lead = count;
    while (lead > 0 && count - lead < 4 && (data[lead - 1] & 0xC0) == 0x80)
        --lead;
    if (lead == 0)
        return 0;
    const unsigned char byte = data[lead - 1];
    const qint64 length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
    return lead - 1 + length <= count ? count : lead - 1;
}

// Runs shorter than this cost libxml2 less than their placeholders cost the reader.
constexpr qint64 heldRunMinimum = 128;
// The first byte of every marker of the repair.
constexpr int markerByte = 0xF4;

} // namespace

qint64 ByteStreamGuard::readHead(const char* data, qint64 size, QByteArray& output)
{
    // The first bytes pass through unguarded until the encoding is known; nothing in four
    // bytes can need guarding.
    const qint64 taken = std::min<qint64>(size, 4 - head_.size());
    head_.append(data, taken);
    output.append(data, taken);
    lines_ += countByte(data, taken, '\n');
    if (head_.size() < 4)
        return taken;
    const auto* head = reinterpret_cast<const unsigned char*>(head_.constData());
    const prolog::Units units = prolog::detectUnits(head);
    if (units.ebcdic) {
        refused_ = Violation{0, QStringLiteral("EBCDIC is not supported")};
        return taken;
    }
    unitWidth_ = units.width;
    bigEndian_ = units.bigEndian;
    // Files of wider units are decoded by libxml2 as UTF-16 or UCS-4, whatever they declare.
    declarationRead_ = unitWidth_ != 1;
    QByteArray ignored;
    feedUnits(head, 4, ignored, false);
    return taken;
}

void ByteStreamGuard::readDeclaration(char32_t unit)
{
    if (declaration_.isEmpty() && bomSkipped_ < prolog::utf8ByteOrderMarkLength &&
        char(unit) == prolog::utf8ByteOrderMark[bomSkipped_]) {
        ++bomSkipped_;
        return;
    }
    declaration_.append(char(unit));
    static const QByteArray start = "<?xml";
    const qsizetype compared = std::min(declaration_.size(), start.size());
    if (declaration_.left(compared) != start.left(compared)) {
        declarationRead_ = true; // no declaration: UTF-8
        utf8_ = true;
        return;
    }
    if (!declaration_.endsWith("?>"))
        return;
    declarationRead_ = true;
    const prolog::Declaration read =
        prolog::readDeclaration(declaration_).value_or(prolog::Declaration{});
    utf8_ = read.namesUtf8();
    if (read.encoding.present() && !isAsciiTransparent(read.encoding.value))
        refused_ = Violation{0, QStringLiteral("The encoding %1 is not supported")
                                    .arg(QString::fromLatin1(read.encoding.value))};
}

qint64 ByteStreamGuard::unitsInsertedBefore(qint64 line, qint64 offset) const
{
    auto at = std::lower_bound(splits_.begin(), splits_.end(), line,
                               [](const Split& split, qint64 value) { return split.line < value; });
    qint64 units = 0;
    for (; at != splits_.end() && at->line == line && at->offset < offset; ++at)
        units += at->units;
    return units;
}

void ByteStreamGuard::hold(const unsigned char* run, qint64 length, QByteArray& output, qint64 line,
                           qint64 offset)
{
    const char* text = reinterpret_cast<const char*>(run);
    const qint64 lineFeeds = countByte(text, length, '\n');
    const qsizetype start = output.size();
    output.resize(start + lineFeeds, '\n');
    output.append(heldLead).append(QByteArray::number(nextHeld_)).append(';');
    // libxml2 counts the columns of a CDATA section in bytes: those of the run's last line are
    // gone from the output, the placeholder's are new.
    const auto* lastLineFeed = static_cast<const char*>(memrchr(text, '\n', size_t(length)));
    const qint64 lastLine = lastLineFeed != nullptr ? text + length - lastLineFeed - 1 : length;
    splits_.push_back({line, offset + lineFeeds, output.size() - start - lineFeeds - lastLine});
    held_.push_back({nextHeld_++, QByteArray(text, length), lineFeeds, line});
}

const ByteStreamGuard::HeldRun* ByteStreamGuard::heldRun(qint64 id) const
{
    if (held_.empty() || id < held_.front().id || id > held_.back().id)
        return nullptr;
    return &held_[size_t(id - held_.front().id)];
}

void ByteStreamGuard::dropHeldBefore(qint64 id)
{
    qint64 passedLine = 0;
    while (!held_.empty() && held_.front().id < id) {
        passedLine = held_.front().line;
        held_.pop_front();
    }
    // No fault to come is on an earlier line: the splits there, one for each run held and each
    // long section split, would otherwise grow with the export.
    const auto kept =
        std::lower_bound(splits_.begin(), splits_.end(), passedLine,
                         [](const Split& split, qint64 value) { return split.line < value; });
    splits_.erase(splits_.begin(), kept);
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
                const bool held = holding_ && utf8_ && counted && utf8Pending_ == 0 &&
                                  guard_.inCdata() && run >= heldRunMinimum;
                guard_.pass(data + i, run);
                utf8Pending_ = utf8PendingAfter(utf8Pending_, data + i, run);
                // A run may end inside a character, and a marker of the repair (which the reader
                // counts in the tree's texts) stays where the reader sees it.
                const qint64 whole = held ? wholeCharacters(data + i, run) : 0;
                if (whole >= heldRunMinimum && !std::memchr(data + i, markerByte, size_t(whole))) {
                    output.append(reinterpret_cast<const char*>(data) + copied, i - copied);
                    linesUpTo(i + whole);
                    hold(data + i, whole, output, lines_ + 1,
                         outputOffset_ + output.size() - outputStart);
                    copied = i + whole;
                }
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
        utf8Pending_ = utf8PendingAfter(utf8Pending_, data + i, 1);
        // A run of characters above 0x7F (the repair's markers of a million faults, say) would
        // otherwise never be split.
        if (guard_.cdataSplitPoint(cdataPieceLength, utf8_ && utf8Pending_ == 0)) {
            output.append(reinterpret_cast<const char*>(data) + copied, i + 1 - copied);
            copied = i + 1;
            if (counted) {
                linesUpTo(i + 1);
                splits_.push_back(
                    {lines_ + 1, outputOffset_ + output.size() - outputStart, splitMarkerLength});
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
