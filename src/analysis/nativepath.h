#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names as the system holds them are bytes, in any encoding or none; Qt decodes them as
// UTF-8 and replaces what does not decode, so that such a name can no longer be opened. These two
// convert without loss: a byte that is not part of valid UTF-8 stands as the lone surrogate
// U+DC80 to U+DCFF in the text, and turns back into the same byte.
QString fromNativePath(QByteArrayView bytes);
QByteArray toNativePath(const QString& path);

class QFile;

// Opens file for reading the file at path, whatever bytes its name holds; the system's reason
// when it cannot, or when path names a folder, and the empty text when it is open.
QString openForReading(QFile& file, const QString& path);
