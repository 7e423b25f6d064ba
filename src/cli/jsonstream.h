#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>
#include <vector>

// Writes JSON as it goes, with nothing kept but the nesting: the report's documents can hold
// millions of entries. Output is UTF-8, two spaces of indentation per level for the outer four
// levels; what lies deeper (one fault, one result) stays on one line.
class JsonStream
{
public:
    using Sink = std::function<void(const QByteArray&)>;
    explicit JsonStream(Sink sink) : sink_(std::move(sink)) {}
    ~JsonStream() { flush(); }

    JsonStream& beginObject() { return open('{'); }
    JsonStream& endObject() { return close('}'); }
    JsonStream& beginArray() { return open('['); }
    JsonStream& endArray() { return close(']'); }
    JsonStream& key(const char* name);
    JsonStream& value(const QString& text);
    JsonStream& value(const char* text);
    JsonStream& value(qint64 number);
    JsonStream& value(int number) { return value(qint64(number)); }
    JsonStream& value(bool flag);
    JsonStream& null();
    // Elements of the open array already written as JSON elsewhere, comma-separated, copied
    // from the device from its start in pieces.
    JsonStream& rawElements(QIODevice& elements);
    void flush();

    // text as a JSON string, quotes included.
    static void appendString(QByteArray& out, const QString& text);
    static void appendUtf8String(QByteArray& out, QByteArrayView utf8);

private:
    JsonStream& open(char bracket);
    JsonStream& close(char bracket);
    void beforeValue();
    void indent();

    Sink sink_;
    QByteArray buffer_;
    std::vector<bool> hasEntries_;
    bool afterKey_ = false;
};
