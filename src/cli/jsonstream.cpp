#include "jsonstream.h"

#include "analysis/reusedbuffer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
constexpr qsizetype flushThreshold = 1 << 16;
} // namespace

QByteArray JsonStream::compact(const QJsonValue& value)
{
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    // A document holds only an object or an array: a lone value is written as the one element
    // of an array, without the brackets.
    const QByteArray inArray = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return inArray.sliced(1, inArray.size() - 2);
}

QString JsonStream::wholeCharacters(const QString& text)
{
    QString whole = text;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        const QChar character = whole.at(i);
        if (character.isHighSurrogate() && i + 1 < whole.size() && whole.at(i + 1).isLowSurrogate())
            ++i;
        else if (character.isSurrogate())
            whole[i] = u'?';
    }
    return whole;
}

void JsonStream::indent()
{
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
    if (hadEntries)
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

JsonStream& JsonStream::value(const QJsonValue& value)
{
    beforeValue();
    buffer_.append(compact(value));
    if (buffer_.size() >= flushThreshold)
        flush();
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
