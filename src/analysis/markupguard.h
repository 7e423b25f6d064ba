#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// libxml2 2.9.14 checks the attributes of a start tag for duplicates pair by pair, and adds the
// defaults that a DTD declares for an element to every start tag of that element the same way:
// a tag with 60 000 attributes takes it half a minute, and no parser option bounds this. The
// guard reads the markup before libxml2 does and stops at the first construct that could make
// the parse quadratic, much as libxml2 itself stops at its nesting depth limit.
//
// It only counts: character data, comments, CDATA sections and processing instructions are
// passed over, so a post that merely shows markup as text is never refused.
namespace markupguard {

// Far above the attributes of any real HTML element, and low enough that a body made of such
// tags costs libxml2 only a few times its usual time per byte.
inline constexpr int attributeLimit = 256;
// Each default is added to every start tag of its element, so defaults multiply with the
// elements of the file; a few dozen leave that cost linear in practice.
inline constexpr int attributeDefaultLimit = 32;

// libxml2's push parser, which its streaming reader is built on, rescans what it holds of an
// unfinished comment, processing instruction, start tag, document type declaration or CDATA
// section whenever a new piece of input holds a '>': a 5 MB comment full of '>' takes it seconds,
// 50 MB minutes. The export reader therefore bounds the first four and splits long CDATA sections.
inline constexpr qint64 streamedMarkupLimit = 1 << 20;
// Long enough that splitting adds little, short enough that each piece is found quickly.
inline constexpr qint64 cdataPieceLength = 4096;
inline constexpr char splitMarker[] = "]]><!----><![CDATA[";
inline constexpr qint64 splitMarkerLength = sizeof splitMarker - 1;
// What stands in a CDATA section for a run of its text that the guard holds back (see
// ByteStreamGuard::holdCdataText): the run's line feeds, then U+10FF3F, a character of the
// repair's marker range that the repair never writes on its own, the run's number and ';'.
inline constexpr char heldLead[] = "\xF4\x8F\xBC\xBF";
// libxml2's own bound on nesting, which it lifts along with its size limits for an export that has
// no DOCTYPE: the guard keeps it.
inline constexpr int streamedDepthLimit = 256;

struct Violation
{
    // Where the offending construct starts, in units fed to the guard from 0.
    qint64 offset = 0;
    QString reason;
};

// A streaming reader of XML markup, fed one character (or, for byte-oriented encodings, one
// byte) at a time. Only ASCII values have a meaning for it, so it works on UTF-8, on any
// single-byte encoding and on decoded UTF-16 or UCS-4 units alike.
class Guard
{
public:
    // markupLengthLimit bounds comments, processing instructions, start tags and the document
    // type declaration, in units; depthLimit the nesting of elements; 0 leaves them unbounded.
    explicit Guard(qint64 markupLengthLimit = 0, int depthLimit = 0)
        : markupLengthLimit_(markupLengthLimit), depthLimit_(depthLimit)
    {}

    // Feeds the next unit; returns false from the first violation on.
    bool feed(char32_t unit);
    // How many of the next bytes change nothing but the position, so that they can go to pass()
    // instead of one by one to feed(): in text the bytes before the next '<', in a CDATA section
    // those before the next ']'. A NUL byte is never passable. Blog bodies are mostly text, and
    // this keeps guarding them at the speed of memchr.
    qint64 passable(const unsigned char* data, qint64 size) const;
    void pass(const unsigned char* data, qint64 count);
    const std::optional<Violation>& violation() const { return violation_; }
    // Feeds the whole text, its units being bytes; returns the first violation.
    std::optional<Violation> scan(const char* data, qint64 size);
    // Whether the last unit fed was a '>', or an ASCII character other than ']', inside a CDATA
    // section that has run on for at least
    // length units since it began or since the last call that returned true; the section may
    // then be closed and reopened right after that unit without changing the text it holds.
    // endsCharacter says that a unit above 0x7F ends a character too, as the caller knows of
    // UTF-8.
    bool cdataSplitPoint(qint64 length, bool endsCharacter = false);
    bool inCdata() const { return state_ == State::CData; }

private:
    enum class State
    {
        Text,
        TagOpen,
        Declaration,
        Comment,
        CData,
        ProcessingInstruction,
        StartTag,
        StartTagQuoted,
        Doctype,
        DoctypeQuoted,
        Subset,
        SubsetOpen,
        SubsetKeyword,
        SubsetMarkup,
        SubsetPercent,
        SubsetLiteral,
        SubsetComment,
        SubsetProcessingInstruction,
    };

    void fail(qint64 offset, QString reason);
    void enter(State state);
    bool endsWith(char32_t a, char32_t b, char32_t unit) const;
    // The states outside the document type declaration, and those inside it.
    void feedContent(char32_t unit);
    void feedDoctype(char32_t unit);
    void feedTagOpen(char32_t unit);
    void feedStartTag(char32_t unit);
    void feedDeclaration(char32_t unit);
    void feedSubset(char32_t unit);
    void feedSubsetOpen(char32_t unit);
    void feedSubsetMarkup(char32_t unit);
    void feedSubsetPercent(char32_t unit);
    void feedSubsetLiteral(char32_t unit);
    // Whether the unit ended the keyword and is to be read as part of the declaration.
    bool feedSubsetKeyword(char32_t unit);
    void checkMarkupLength();

    const qint64 markupLengthLimit_;
    const int depthLimit_;
    int depth_ = 0;
    State state_ = State::Text;
    qint64 position_ = -1;
    qint64 markupStart_ = 0;
    qint64 doctypeStart_ = 0;
    qint64 cdataPieceStart_ = 0;
    char32_t quote_ = 0;
    // The two units before the current one inside a construct that ends with a sequence.
    char32_t previous_[2] = {0, 0};
    // The keyword after "<!", outside or inside the internal subset.
    char keyword_[8] = {};
    int keywordLength_ = 0;
    State stateAfterPercent_ = State::Subset;
    int attributes_ = 0;
    int literalMarkup_ = 0;
    bool inAttributeList_ = false;
    int attributeDefaults_ = 0;
    std::optional<Violation> violation_;
};

// Guards a post body as the post checker wraps it, in UTF-8.
std::optional<Violation> firstViolation(const char* data, qint64 size);

// Guards the raw bytes of an export as they arrive, working out from the first bytes whether
// they are UTF-16 or UCS-4 (by byte-order mark or by the "<?" of the declaration) or
// byte-oriented, and splits long CDATA sections so that libxml2's reader passes them in linear
// time. The pieces are separated by an empty comment: adjacent CDATA sections would be merged
// again by libxml2, once more in quadratic time, while the text of an element skips comments.
class ByteStreamGuard
{
public:
    ByteStreamGuard() : guard_(streamedMarkupLimit, streamedDepthLimit) {}

    // Appends the bytes to output, with the split markers inserted; false from the first
    // violation on.
    bool feed(const char* data, qint64 size, QByteArray& output);
    const std::optional<Violation>& violation() const
    {
        return refused_ ? refused_ : guard_.violation();
    }
    // libxml2 counts the split markers in its columns: how many units were inserted on the given
    // 1-based line before the given offset in the output (byte-oriented files only).
    qint64 unitsInsertedBefore(qint64 line, qint64 offset) const;

    // libxml2 scans a CDATA section's text three times, byte by byte, before it builds a node of
    // it: most of its time on an export of posts. From this call on, a long run of text in a CDATA
    // section of a UTF-8 export is held back here and libxml2 is given a short placeholder that
    // keeps the run's lines (heldLead); the reader reads each run where its placeholder stands in
    // the tree that libxml2 builds.
    // Only for exports whose repair writes UTF-8 (the placeholder's lead cannot be mistaken
    // there) and that libxml2 reads without its limit on the size of a text, which it would
    // otherwise no longer see.
    void holdCdataText() { holding_ = true; }
    struct HeldRun
    {
        qint64 id;
        QByteArray text;
        qint64 lineFeeds; // those that begin its placeholder
        qint64 line;      // of the output, where it ends
    };
    // The run held for the placeholder numbered id, if it has not been dropped.
    const HeldRun* heldRun(qint64 id) const;
    // Drops the runs before the one numbered id: the reader has put them back or never will. The
    // parser has read past them, so its faults from then on stand on their last line or after it.
    void dropHeldBefore(qint64 id);

private:
    struct Split
    {
        qint64 line;
        qint64 offset; // where its marker starts in the output
        qint64 units;  // how many more units the output has than the input on that line from here
    };

    bool feedBytes(const char* data, qint64 size, QByteArray& output);
    void feedUnits(const unsigned char* data, qint64 size, QByteArray& output, bool counted);
    void appendUnit(char32_t unit, QByteArray& output) const;
    // Appends a placeholder for the run to output and holds the run; line is the 1-based line of
    // the run's end, offset where the placeholder starts in the whole output.
    void hold(const unsigned char* run, qint64 length, QByteArray& output, qint64 line,
              qint64 offset);
    // Takes the first four bytes, passing them on, and works out the width of the units from
    // them; returns how many of the bytes it took.
    qint64 readHead(const char* data, qint64 size, QByteArray& output);
    void readDeclaration(char32_t unit);

    Guard guard_;
    std::optional<Violation> refused_;
    // The XML declaration of a byte-oriented file, read until its end: libxml2 decodes the rest
    // as it names, and the guard can only follow encodings in which ASCII stays ASCII.
    QByteArray declaration_;
    bool declarationRead_ = false;
    qsizetype bomSkipped_ = 0;
    int unitWidth_ = 0;   // 0 until the first four bytes have been seen
    bool utf8_ = false;   // known to be UTF-8, whose bytes above 0x7F show where characters end
    int utf8Pending_ = 0; // continuation bytes still to come after the last byte read
    bool bigEndian_ = false;
    QByteArray head_;
    unsigned char partial_[4] = {0, 0, 0, 0};
    int partialCount_ = 0;
    qint64 outputOffset_ = 0;
    qint64 lines_ = 0; // line feeds read so far, as far as counted
    std::vector<Split> splits_;
    bool holding_ = false;
    qint64 nextHeld_ = 0;
    std::deque<HeldRun> held_; // numbered one after the other
};

} // namespace markupguard
