#pragma once

#include "exportposition.h"

#include <QByteArray>
#include <QIODevice>

#include <limits>
#include <memory>
#include <utility>

// Where byte bodyOffset of an item's body (its text as the reader hands it on, UTF-8) lies in
// the export file, found by reading the export's raw bytes from the body's start and matching
// them to the body: CDATA sections, escaped text, character references, comments and CR LF line
// ends all map back exactly. An offset at the body's end maps to the place right after its last
// character. Unknown when the raw bytes do not give the body back (another encoding than UTF-8,
// entities that a DTD declares) or the file cannot be read.
// held: the file's bytes from the body's start on, as far as the caller has them already; the
// file is read only past them.
ExportPosition locateInExport(QIODevice& exportFile, const ExportPosition& bodyStart,
                              const QByteArray& bodyUtf8, qint64 bodyOffset,
                              QByteArrayView held = {});

// The places in the export of one body's characters, asked for by the body's own line and column
// (both from 1, columns counting characters as LineCounter does), as locateInExport() finds them:
// one walk of the raw bytes serves places asked for in order, and a body written as one CDATA
// section, as WordPress writes them, is counted without walking. Where the raw bytes do not give
// the body back, the body's own columns are counted from its first character.
class BodyPlaces
{
public:
    BodyPlaces(QIODevice& exportFile, const ExportPosition& bodyStart, const QByteArray& bodyUtf8,
               QByteArrayView held = {});
    ~BodyPlaces();
    BodyPlaces(BodyPlaces&&) noexcept;
    BodyPlaces& operator=(BodyPlaces&&) = delete;

    // Where the body's first character stands; unknown when the body start is.
    const ExportPosition& first() const { return first_; }
    // Line and column in the export; both 0 when the body start is unknown.
    std::pair<qint64, qint64> at(qint64 line, qint64 column);

private:
    class Walk;

    std::pair<qint64, qint64> counted(qint64 line, qint64 column) const;
    qint64 offsetOf(qint64 line, qint64 column);

    QIODevice* file_;
    ExportPosition bodyStart_;
    const QByteArray* body_;
    QByteArrayView held_;
    ExportPosition first_;
    bool oneSection_ = false; // the raw body is "<![CDATA[" BODY
    std::unique_ptr<Walk> walk_;
    qint64 walked_ = 0;
    // From where on the walk cannot reach a body offset: past the bytes it matched before it
    // failed, each place is counted.
    qint64 unreachedFrom_ = std::numeric_limits<qint64>::max();
    bool hasCarriageReturn_ = false;
    // The start of the body line last asked for.
    qint64 cursorLine_ = 1;
    qint64 cursorOffset_ = 0;
};
