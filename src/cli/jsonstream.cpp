#include "jsonstream.h"

#include "analysis/reusedbuffer.h"

namespace {
constexpr qsizetype flushThreshold = 1 << 16;
// Objects and arrays nested deeper than this are written on their parent's line.
constexpr qsizetype lineDepth = 4;
} // namespace

void JsonStream::appendString(QByteArray& out, const QString& text)
{
    appendUtf8String(out, text.toUtf8());
}

void JsonStream::appendUtf8String(QByteArray& out, QByteArrayView utf8)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    // Runs that need no escape, almost everything, are copied whole.
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\')
            continue;
        out.append(utf8.data() + runStart, i - runStart);
        runStart = i + 1;
        switch (byte) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            out.append("\\u00").append(hex[byte >> 4]).append(hex[byte & 0xF]);
        }
    }
    out.append(utf8.data() + runStart, utf8.size() - runStart);
    out.append('"');
}

void JsonStream::indent()
{
    // Entries of the report's long lists each take one line: deeper levels stay on it.
    if (qsizetype(hasEntries_.size()) > lineDepth) {
        if (buffer_.endsWith(','))
            buffer_.append(' ');
        return;
    }
    buffer_.append('\n');
    buffer_.append(2 * qsizetype(hasEntries_.size()), ' ');
}

void JsonStream::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasEntries_.empty()) {
        if (hasEntries_.back())
            buffer_.append(',');
        hasEntries_.back() = true;
        indent();
    }
}

JsonStream& JsonStream::open(char bracket)
{
    beforeValue();
    buffer_.append(bracket);
    hasEntries_.push_back(false);
    return *this;
}

JsonStream& JsonStream::close(char bracket)
{
    const bool hadEntries = hasEntries_.back();
    hasEntries_.pop_back();
    if (hadEntries && qsizetype(hasEntries_.size()) < lineDepth)
        indent();
    buffer_.append(bracket);
    if (hasEntries_.empty())
        buffer_.append('\n');
    if (buffer_.size() >= flushThreshold)
        flush();
    return *this;
}

JsonStream& JsonStream::key(const char* name)
{
    beforeValue();
    buffer_.append('"').append(name).append("\": "); // keys are plain ASCII names
    afterKey_ = true;
    return *this;
}

JsonStream& JsonStream::value(const QString& text)
{
    beforeValue();
    appendString(buffer_, text);
    return *this;
}

JsonStream& JsonStream::value(const char* text)
{
    beforeValue();
    appendUtf8String(buffer_, text);
    return *this;
}

JsonStream& JsonStream::value(qint64 number)
{
    beforeValue();
    buffer_.append(QByteArray::number(number));
    return *this;
}

JsonStream& JsonStream::value(bool flag)
{
    beforeValue();
    buffer_.append(flag ? "true" : "false");
    return *this;
}

JsonStream& JsonStream::null()
{
    beforeValue();
    buffer_.append("null");
    return *this;
}

JsonStream& JsonStream::rawElements(QIODevice& elements)
{
    if (elements.size() == 0 || !elements.seek(0))
        return *this;
    beforeValue();
    flush();
    while (!elements.atEnd()) {
        const QByteArray piece = elements.read(flushThreshold);
        if (piece.isEmpty())
            break;
        sink_(piece);
    }
    return *this;
}

void JsonStream::flush()
{
    if (!buffer_.isEmpty())
        sink_(buffer_);
    emptyForReuse(buffer_);
}
