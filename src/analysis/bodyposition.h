#pragma once

#include "exportposition.h"

#include <QByteArray>
#include <QIODevice>

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
