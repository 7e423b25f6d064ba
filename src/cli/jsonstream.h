#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QJsonValue>

#include <functional>
#include <vector>

// Writes a JSON document as it goes, with nothing kept but the nesting: the report's documents
// can hold millions of entries. The outer levels, opened and closed here, take two spaces of
// indentation each; each entry of their lists (one fault, one result) is a QJsonValue written
// compactly on a line of its own. Output is UTF-8.
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
    JsonStream& value(const QJsonValue& value);
    // Elements of the open array already written by compact(), comma-separated, copied from the
    // device from its start in pieces.
    JsonStream& rawElements(QIODevice& elements);
    void flush();

    // value as compact JSON, the way value() writes it.
    static QByteArray compact(const QJsonValue& value);
    // text with each half of a surrogate pair that stands alone (a cut such as Narrowed may split
    // a pair) written as '?', as UTF-8 has no form for it: Qt's writer would escape it as
    // "\ud83d", which strict readers refuse.
    static QString wholeCharacters(const QString& text);
    // What goes between two elements of a list at the depth of the report's entry lists.
    static constexpr char entrySeparator[] = ",\n        ";

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
