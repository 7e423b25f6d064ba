#pragma once

#include "exportitem.h"

#include <QByteArray>
#include <QList>

#include <deque>

// Real exports carry faults that leave their structure intact: a control character pasted from a
// word processor, bytes that are not UTF-8, white space a plugin printed before the XML
// declaration. libxml2 stops at the first of them, and one such character would hide every post
// of the blog. The repair reads the export's bytes before libxml2 does, records each such fault
// where it lies in the file, and hands on bytes that parse:
//
// - white space or text (a PHP warning) before the XML declaration is left out;
// - a UTF-8 byte-order mark wins over another encoding that the declaration names;
// - CR LF and a lone CR become LF, as XML asks of every processor (libxml2's push parser, which
//   its streaming reader uses, leaves them in CDATA sections);
// - in UTF-8, a character that XML forbids, and each maximal subsequence of bytes that is not
//   UTF-8, become a marker: a private-use character (U+10FF00 to U+10FF3F) that parses wherever
//   text may stand. The reader puts back what belongs where a text is used (restoreBody,
//   restoreTitle) and counts the markers of each part of the tree to tell which fault lies in
//   which item. Genuine characters of that range are escaped so that nothing is mistaken.
//
// Exports in other encodings only have their line ends normalized; UTF-16 and UCS-4 pass as read.
namespace exportrepair {

class ByteRepair
{
public:
    // Appends the repaired form of the next bytes of the export to output. A few bytes may be
    // held back until the next call shows what they are.
    void feed(const char* data, qint64 size, QByteArray& output);
    // The end of the export: whatever is held back is repaired and appended.
    void finish(QByteArray& output);

    // The faults read through, in file order, numbered from 0: how many were found so far, and
    // each of those not yet dropped, with no item named.
    qint64 faultCount() const { return droppedFaults_ + qint64(faults_.size()); }
    ExportFault fault(qint64 index) const;
    std::pair<qint64, qint64> faultPosition(qint64 index) const
    {
        const Found& found = faults_.at(size_t(index - droppedFaults_));
        return {found.line, found.column};
    }
    // The reader has placed every fault before index: they need not be kept any longer, so that
    // a file of a million faults costs no more memory than its largest item does.
    void dropFaultsBefore(qint64 index);
    // The fault that the marker-th marker of the repaired bytes stands for.
    qint64 faultOfMarker(qint64 marker) const { return marker + leadingFaults_; }
    // How many markers stand for faults (escapes not counted).
    qint64 markerCount() const { return markerCount_; }
    // Whether any marker at all went out, escapes included: texts need restoring only then.
    bool markedAnything() const { return markedAnything_; }
    // Whether the export was read as UTF-8 (and not as UTF-16, UCS-4 or a single-byte encoding).
    bool readsUtf8() const { return mode_ == Mode::Utf8; }
    // libxml2 counts lines and columns in the bytes it is given; what was left out before the
    // declaration has to be added back to them.
    qint64 removedLines() const { return removedLines_; }
    // Where the bytes repaired so far end in the file, line and column from 1, for UTF-8 exports.
    std::pair<qint64, qint64> endPosition() const { return {line_, column_ + 1}; }
    qint64 removedColumns() const { return removedColumns_; }

private:
    enum class Mode
    {
        Start,
        Declaration,
        Utf8,
        LineEnds,
        Verbatim,
    };

    void feedStart(QByteArray& output, bool final);
    void feedDeclaration(bool final);
    // Leaves out bytes start to end of held_, white space or, when text, what a plugin printed.
    void skipLeading(qint64 start, qint64 end, bool text);
    // Repairs data, except for a tail that needs the next bytes, which it returns the length of.
    qint64 repairUtf8(const unsigned char* data, qint64 size, QByteArray& output, bool final);
    // Repairs the character at data[i], a byte above 0x7F, appending it to output; returns where
    // the next one starts, or -1 when it needs the next bytes.
    qint64 repairCharacter(const unsigned char* data, qint64 i, qint64 size, QByteArray& output,
                           bool final);
    qint64 normalizeLineEnds(const char* data, qint64 size, QByteArray& output, bool final);
    void process(QByteArray& output, bool final);
    void mark(unsigned char kind, QByteArray& output);
    // What is kept of a fault until the reader places it: its reason is spelled out only then.
    struct Found
    {
        qint64 line;
        qint64 column;
        // A forbidden character's value; or up to four bytes that are not UTF-8, the first in the
        // lowest byte, and how many; or, with a count of 0xFF, the misplaced declaration.
        quint32 value;
        quint8 byteCount;
    };
    static constexpr quint8 misplacedDeclaration = 0xFF;
    // Text before the declaration (its lines counted in value), and a byte-order mark that says
    // otherwise than the declaration: the words are kept in the members below.
    static constexpr quint8 leadingText = 0xFE;
    static constexpr quint8 encodingClash = 0xFD;
    void record(quint32 value, quint8 byteCount);

    Mode mode_ = Mode::Start;
    QByteArray held_;
    std::deque<Found> faults_;
    qint64 droppedFaults_ = 0;
    qint64 leadingFaults_ = 0; // faults without a marker, all before the first one
    qint64 markerCount_ = 0;
    bool markedAnything_ = false;
    qint64 line_ = 1;
    qint64 column_ = 0; // characters before the current one on its line
    qint64 removedLines_ = 0;
    qint64 removedColumns_ = 0;
    bool byteOrderMark_ = false;
    QString leadingLine_;
    QString declaredEncoding_;
};

// Whether a marker of a fault stands at text[i] (four bytes).
bool isFaultMarker(const char* text, qint64 size, qint64 i);
// Whether the escape stands at text[i], the genuine character of the markers' range after it.
bool isEscapeAt(const char* text, qint64 size, qint64 i);
// How many fault markers the UTF-8 text holds.
qint64 countMarkers(const char* text, qint64 size);
// The text as the file held it: forbidden characters back in place, U+FFFD for bytes that were
// not UTF-8. A post body keeps what XML forbids so that its own check reports it where it is.
QByteArray restoreBody(const QByteArray& text);
// The same, except that characters XML forbids are left out.
QByteArray restoreTitle(const QByteArray& text);

} // namespace exportrepair
