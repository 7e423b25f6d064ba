#pragma once

#include <QtGlobal>

#include <cstdint>
#include <string>

// A streaming reader of the markup of raw XML bytes in an ASCII-based encoding (UTF-8 in
// practice): where tags, comments, CDATA sections, processing instructions and declarations
// begin and end, with quoted attribute values and literals and the document type declaration's
// internal subset read as XML reads them. It stops at each of these events, so that its callers
// can follow the elements (the body locator), find what a prolog holds, or step over one
// construct (the body walk), each at the speed of memchr through text and character data.
//
// A '<' that begins no construct (before a space, say) is reported and read on as text: libxml2
// stops there as at a fault, and reading on finds the next construct as it would.
class MarkupLexer
{
public:
    enum class Construct : std::uint8_t
    {
        StartTag,
        EmptyElementTag, // once it has ended, or cut short by a '<'; it begins as a StartTag
        EndTag,          // to its '>', or cut short by a '<'
        Comment,
        CData,
        ProcessingInstruction,
        Doctype,
        Declaration, // another "<!": not XML, read to its '>'
    };
    enum class Event : std::uint8_t
    {
        None,     // the bytes ran out first
        Begun,    // the construct is known from its first bytes
        Ended,    // at its last byte
        Abandoned // a '<' that began no construct: back to text
    };

    // A name longer than this is none that a caller looks for.
    static constexpr size_t nameLimit = 32;

    // Reads the bytes up to and including the next event's, and returns how many it read.
    qint64 scan(const char* data, qint64 size);
    Event event() const { return event_; }
    Construct construct() const { return construct_; }
    // The name of the tag begun or ended last, cut after nameLimit + 1 bytes.
    const std::string& name() const { return name_; }

private:
    enum class State : std::uint8_t
    {
        Text,
        Open,
        Keyword,
        TagName,
        Tag,
        EndTag,
        Quoted,
        Comment,
        CData,
        ProcessingInstruction,
        Doctype,
        Declaration,
        Subset,
        SubsetOpen,
        SubsetDeclaration,
        SubsetComment,
        SubsetInstruction,
    };

    // The bytes each state reads at once, returning how many; an event ends the call.
    qint64 readText(const char* data, qint64 size);
    qint64 readUntil(const char* data, qint64 size, char repeated, int count, State next);
    qint64 readQuoted(const char* data, qint64 size);
    qint64 readEndTag(const char* data, qint64 size);
    // Appends to the name as far as nameLimit + 1 bytes.
    void appendName(const char* bytes, qint64 count);
    void readOpen(char byte);
    void readKeyword(char byte);
    qint64 readTag(const char* data, qint64 size);
    void readDoctype(char byte);
    void readSubset(char byte);
    void readSubsetOpen(char byte);
    void begin(State state, Construct construct);
    void end(Construct construct, State next = State::Text);
    void quote(char byte, State back);

    State state_ = State::Text;
    State afterQuote_ = State::Text;
    Event event_ = Event::None;
    Construct construct_ = Construct::StartTag;
    char quote_ = 0;
    bool slash_ = false;    // the last byte of a tag outside quotes was '/'
    bool nameDone_ = false; // of an end tag
    int terminatorMatched_ = 0;
    std::string keyword_; // after "<!" or "<" in the internal subset
    std::string name_;
};
