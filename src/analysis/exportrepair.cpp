#include "exportrepair.h"

#include "utf8sequence.h"

#include <cstdint>
#include <cstring>

namespace exportrepair {

namespace {

// The fourth byte of a marker is 0x80 + its kind: kinds below 0x20 are the control character of
// that value; then U+FFFE, U+FFFF, bytes that were not UTF-8, and the escape that says the next
// four bytes are a genuine character of the markers' range.
constexpr unsigned char nonCharacterFFFE = 0x20;
constexpr unsigned char nonCharacterFFFF = 0x21;
constexpr unsigned char invalidBytes = 0x22;
constexpr unsigned char escape = 0x23;
constexpr char markerLead[] = "\xF4\x8F\xBC";

// How many bytes from data on are printable ASCII, taken eight at a time: most of any export.
qint64 printableRun(const unsigned char* data, qint64 size)
{
    constexpr std::uint64_t highBits = 0x8080808080808080ULL;
    constexpr std::uint64_t spaces = 0x2020202020202020ULL;
    qint64 i = 0;
    for (; size - i >= 8; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if ((word & highBits) != 0 || ((word - spaces) & ~word & highBits) != 0)
            break;
    }
    return i;
}

// Whether the valid sequence of the given length at p is U+FFFE or U+FFFF, which XML forbids, or
// a character of the markers' own range, which must be escaped.
bool needsMarker(const unsigned char* p, int length)
{
    return (length == 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) ||
           (length == 4 && std::memcmp(p, markerLead, 3) == 0);
}

bool isMarkerAt(const char* text, qint64 size, qint64 i)
{
    return size - i >= 4 && std::memcmp(text + i, markerLead, 3) == 0 &&
           static_cast<unsigned char>(text[i + 3]) >= 0x80;
}

QByteArray restore(const QByteArray& text, bool keepForbidden)
{
    const char* data = text.constData();
    const qint64 size = text.size();
    QByteArray out;
    out.reserve(size);
    qint64 copied = 0;
    qint64 i = 0;
    while (const void* found = std::memchr(data + i, markerLead[0], size_t(size - i))) {
        i = static_cast<const char*>(found) - data;
        if (!isMarkerAt(data, size, i)) {
            ++i;
            continue;
        }
        out.append(data + copied, i - copied);
        const unsigned char kind = static_cast<unsigned char>(data[i + 3]) - 0x80;
        i += 4;
        if (kind < nonCharacterFFFE) {
            if (keepForbidden)
                out.append(char(kind));
        } else if (kind == nonCharacterFFFE || kind == nonCharacterFFFF) {
            if (keepForbidden)
                out.append(kind == nonCharacterFFFE ? "\xEF\xBF\xBE" : "\xEF\xBF\xBF");
        } else if (kind == invalidBytes) {
            out.append("\xEF\xBF\xBD");
        } else if (kind == escape) {
            const qint64 genuine = std::min<qint64>(4, size - i);
            out.append(data + i, genuine);
            i += genuine;
        }
        copied = i;
    }
    out.append(data + copied, size - copied);
    return out;
}

} // namespace

void ByteRepair::feed(const char* data, qint64 size, QByteArray& output)
{
    if (mode_ == Mode::Utf8 && held_.isEmpty()) {
        const qint64 tail =
            repairUtf8(reinterpret_cast<const unsigned char*>(data), size, output, false);
        held_ = QByteArray(data + size - tail, tail);
        return;
    }
    held_.append(data, size);
    process(output, false);
}

void ByteRepair::finish(QByteArray& output)
{
    process(output, true);
}

// Works on held_, deciding the mode first while it is not known.
void ByteRepair::process(QByteArray& output, bool final)
{
    if (mode_ == Mode::Start)
        feedStart(output, final);
    if (mode_ == Mode::Declaration)
        feedDeclaration(final);
    if (mode_ == Mode::Start || mode_ == Mode::Declaration || held_.isEmpty())
        return;
    const QByteArray pending = std::exchange(held_, QByteArray());
    qint64 tail = 0;
    if (mode_ == Mode::Utf8)
        tail = repairUtf8(reinterpret_cast<const unsigned char*>(pending.constData()),
                          pending.size(), output, final);
    else if (mode_ == Mode::LineEnds)
        tail = normalizeLineEnds(pending.constData(), pending.size(), output, final);
    else
        output.append(pending);
    held_ = pending.right(tail);
}

qint64 ByteRepair::repairUtf8(const unsigned char* data, qint64 size, QByteArray& output,
                              bool final)
{
    qint64 copied = 0;
    qint64 i = 0;
    const auto flush = [&](qint64 upTo) {
        output.append(reinterpret_cast<const char*>(data) + copied, upTo - copied);
        copied = upTo;
    };
    while (i < size) {
        const qint64 run = printableRun(data + i, size - i);
        i += run;
        column_ += run;
        if (i >= size)
            break;
        const unsigned char byte = data[i];
        if ((byte >= 0x20 && byte < 0x80) || byte == '\t') {
            ++i;
            ++column_;
        } else if (byte == '\n') {
            ++i;
            ++line_;
            column_ = 0;
        } else if (byte == '\r') {
            if (i + 1 >= size && !final) {
                flush(i);
                return size - i;
            }
            flush(i);
            output.append('\n');
            i += i + 1 < size && data[i + 1] == '\n' ? 2 : 1;
            copied = i;
            ++line_;
            column_ = 0;
        } else if (byte < 0x20) {
            flush(i);
            record(byte, 0);
            mark(byte, output);
            copied = ++i;
            ++column_;
        } else if (const int length = utf8::sequenceAt(data + i, size - i, final);
                   length > 0 && !needsMarker(data + i, length)) {
            i += length;
            ++column_;
        } else {
            flush(i);
            const qint64 next = repairCharacter(data, i, size, output, final);
            if (next < 0)
                return size - i;
            i = copied = next;
            ++column_;
        }
    }
    flush(size);
    return 0;
}

qint64 ByteRepair::repairCharacter(const unsigned char* data, qint64 i, qint64 size,
                                   QByteArray& output, bool final)
{
    const auto* text = reinterpret_cast<const char*>(data);
    const int length = utf8::sequenceAt(data + i, size - i, final);
    // An invalid sequence waits for four bytes: its reason shows them, as libxml2's does.
    if (length == 0 || (length < 0 && size - i < 4 && !final))
        return -1;
    if (length < 0) {
        const qint64 shown = std::min<qint64>(4, size - i);
        quint32 bytes = 0;
        for (qint64 k = 0; k < shown; ++k)
            bytes |= quint32(data[i + k]) << (8 * k);
        record(bytes, quint8(shown));
        mark(invalidBytes, output);
        return i - length;
    }
    if (length == 3) {
        record(0xFFFE + data[i + 2] - 0xBE, 0);
        mark(data[i + 2] == 0xBE ? nonCharacterFFFE : nonCharacterFFFF, output);
        return i + 3;
    }
    // A genuine character of the markers' range, after its escape.
    mark(escape, output);
    output.append(text + i, length);
    return i + length;
}

qint64 ByteRepair::normalizeLineEnds(const char* data, qint64 size, QByteArray& output, bool final)
{
    qint64 copied = 0;
    while (const void* found = std::memchr(data + copied, '\r', size_t(size - copied))) {
        const qint64 at = static_cast<const char*>(found) - data;
        output.append(data + copied, at - copied);
        if (at + 1 >= size && !final)
            return size - at;
        output.append('\n');
        copied = at + 1 < size && data[at + 1] == '\n' ? at + 2 : at + 1;
    }
    output.append(data + copied, size - copied);
    return 0;
}

void ByteRepair::mark(unsigned char kind, QByteArray& output)
{
    output.append(markerLead, 3).append(char(0x80 + kind));
    markedAnything_ = true;
    if (kind != escape)
        ++markerCount_;
}

void ByteRepair::record(quint32 value, quint8 byteCount)
{
    faults_.push_back({line_, column_ + 1, value, byteCount});
}

ExportFault ByteRepair::fault(qint64 index) const
{
    const Found& found = faults_.at(size_t(index - droppedFaults_));
    ExportFault fault;
    fault.line = found.line;
    fault.column = found.column;
    if (found.byteCount == misplacedDeclaration) {
        fault.reason = QStringLiteral("XML declaration allowed only at the start of the document");
    } else if (found.byteCount == leadingText) {
        fault.reason = QStringLiteral("%1 %2 before the XML declaration, starting \"%3\"")
                           .arg(found.value)
                           .arg(found.value == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                           .arg(leadingLine_);
    } else if (found.byteCount == encodingClash) {
        fault.reason = QStringLiteral("The file starts with a UTF-8 byte-order mark but declares "
                                      "the encoding %1: read as UTF-8")
                           .arg(declaredEncoding_);
    } else if (found.byteCount == 0) {
        fault.reason = QStringLiteral("PCDATA invalid Char value %1").arg(found.value);
    } else {
        fault.reason = QStringLiteral("Input is not proper UTF-8, indicate encoding ! Bytes:");
        for (int k = 0; k < found.byteCount; ++k)
            fault.reason +=
                QStringLiteral(" 0x") + QString::number((found.value >> (8 * k)) & 0xFF, 16)
                                            .toUpper()
                                            .rightJustified(2, QLatin1Char('0'));
    }
    return fault;
}

void ByteRepair::dropFaultsBefore(qint64 index)
{
    while (droppedFaults_ < index && !faults_.empty()) {
        faults_.pop_front();
        ++droppedFaults_;
    }
}

bool isFaultMarker(const char* text, qint64 size, qint64 i)
{
    return isMarkerAt(text, size, i) && static_cast<unsigned char>(text[i + 3]) - 0x80 < escape;
}

bool isEscapeAt(const char* text, qint64 size, qint64 i)
{
    return isMarkerAt(text, size, i) && static_cast<unsigned char>(text[i + 3]) - 0x80 == escape;
}

qint64 countMarkers(const char* text, qint64 size)
{
    qint64 count = 0;
    qint64 i = 0;
    while (const void* found = std::memchr(text + i, markerLead[0], size_t(size - i))) {
        i = static_cast<const char*>(found) - text;
        if (!isMarkerAt(text, size, i)) {
            ++i;
        } else if (isFaultMarker(text, size, i)) {
            ++count;
            i += 4;
        } else if (isEscapeAt(text, size, i)) {
            i = std::min(size, i + 8); // an escape and the genuine character after it
        } else {
            i += 4; // a character of the range that stands for nothing, as the reader's own do
        }
    }
    return count;
}

QByteArray restoreBody(const QByteArray& text)
{
    return restore(text, true);
}

QByteArray restoreTitle(const QByteArray& text)
{
    return restore(text, false);
}

} // namespace exportrepair
