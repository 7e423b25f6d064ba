#include "guardedinput.h"

#include "libxmlsupport.h"
#include "prologreader.h"
#include "reusedbuffer.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

// A document type declaration, if any, comes before the root element, within the first bytes.
constexpr qsizetype prologLimit = 1 << 20;
// Small: what the guard passes on before the options are known is never held back from libxml2
// (see ByteStreamGuard::holdCdataText).
constexpr qint64 prologChunk = 1 << 12;
constexpr qint64 minimumRead = 1 << 16;

} // namespace

bool GuardedInput::fill(qint64 length, bool exactly)
{
    if (failed || ended)
        return false;
    // libxml2 asks for a few kilobytes at a time; each pass of the repair and the guard has a
    // cost of its own besides the bytes it reads.
    if (!exactly)
        length = std::max(length, minimumRead);
    chunk.resize(length);
    const qint64 read = device.read(chunk.data(), length);
    if (read < 0) {
        failed = true;
        return false;
    }
    emptyForReuse(repaired);
    totalRead += read;
    if (read == 0) {
        ended = true;
        repair.finish(repaired);
    } else {
        repair.feed(chunk.constData(), read, repaired);
    }
    if (!guard.feed(repaired.constData(), repaired.size(), pending))
        failed = true;
    return !failed;
}

namespace {

int readGuarded(GuardedInput& input, char* buffer, int length)
{
    while (input.pendingStart == input.pending.size()) {
        emptyForReuse(input.pending);
        input.pendingStart = 0;
        if (!input.fill(length))
            return input.failed ? -1 : 0;
    }
    const qsizetype count = std::min<qsizetype>(length, input.pending.size() - input.pendingStart);
    std::memcpy(buffer, input.pending.constData() + input.pendingStart, size_t(count));
    input.pendingStart += count;
    return int(count);
}

} // namespace

int readGuardedInput(void* context, char* buffer, int length)
{
    auto& input = *static_cast<GuardedInput*>(context);
    int result = -1; // what libxml2 takes for a failed read
    libxml::guardCallback(
        input.failure, [&] { result = readGuarded(input, buffer, length); }, [] {});
    return result;
}

int closeNothing(void*)
{
    return 0;
}

// Entities are substituted by the parser, inside its amplification limits, which only an export
// without a DOCTYPE, that cannot declare any, is spared along with the limits on the size of a
// text. External entities go to the refusing loader. Validation is on so that a file with a
// DOCTYPE is checked against what it declares.
int exportParserOptions(GuardedInput& input)
{
    std::optional<bool> doctype;
    while (!doctype && input.pending.size() < prologLimit && input.fill(prologChunk, true)) {
        // NUL bytes are passed over, so that UTF-16 and UCS-4 read the same.
        doctype = prolog::declaresDoctype(
            QByteArray(input.pending).removeIf([](char byte) { return byte == 0; }));
    }
    int options = XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_DTDVALID;
    if (!doctype.value_or(true))
        options |= XML_PARSE_HUGE;
    return options;
}
