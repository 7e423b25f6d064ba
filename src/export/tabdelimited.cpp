#include "tabdelimited.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

QString getToFirstBadChr(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() > 0xFF)
            return text.left(i);
    }
    return text;
}

namespace {

constexpr qsizetype flushThreshold = 1 << 20;

void appendLatin1(QByteArray& line, const QString& text)
{
    // Every character that reaches here is at most 255, so it maps to its own byte; a header
    // character above 255 is stored as '?'.
    const qsizetype start = line.size();
    line.resize(start + text.size());
    char* out = line.data() + start;
    for (const QChar character : text)
        *out++ = character.unicode() > 0xFF ? '?' : char(character.unicode());
}

bool flush(QIODevice& device, QByteArray& buffer)
{
    const bool written = buffer.isEmpty() || device.write(buffer) == buffer.size();
    buffer.clear();
    return written;
}

bool isPermissionError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// Whether writing path is refused by the file's or its folder's permissions. Checked before
// anything is written: replacing a read-only file through a new file and a rename would
// otherwise succeed, although the user's file says it must not be changed.
bool writeIsRefused(const QString& path)
{
    const QFileInfo info(path);
    const QByteArray file = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    if (info.exists() && ::access(file.constData(), W_OK) != 0 && isPermissionError(errno))
        return true;
    return ::access(folder.constData(), W_OK | X_OK) != 0 && isPermissionError(errno);
}

// Whether path names a device, a pipe or a socket (directly or through a link). Such a file is
// written in place: the save through a temporary file and a rename would replace the node itself
// by a regular file.
bool isDeviceOrPipe(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISDIR(status.st_mode);
}

ExportResult writeInPlace(const QString& path, const TableExtent& extent)
{
    ExportResult result;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.status =
            isPermissionError(errno) ? ExportResult::PermissionDenied : ExportResult::Failed;
        result.reason = file.errorString();
        return result;
    }
    if (!writeTabDelimited(file, extent)) {
        result.reason = file.errorString();
        return result;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        result.reason = file.errorString();
        return result;
    }
    result.status = ExportResult::Written;
    return result;
}

} // namespace

bool writeTabDelimited(QIODevice& device, const TableExtent& extent)
{
    const int lastColumn = std::min(extent.lastColumn, extent.table.columnCount() - 1);
    bool ok = true;
    // Grown as needed rather than reserved: most tables are far smaller than the threshold.
    QByteArray buffer;

    for (int column = 0; column <= lastColumn; ++column) {
        if (column > 0)
            buffer.append('\t');
        appendLatin1(buffer, extent.table.cell(column, 0));
    }
    buffer.append("\r\n");

    for (int row = 1; row <= extent.rowCount; ++row) {
        appendLatin1(buffer, getToFirstBadChr(extent.table.cell(0, row)));
        if (lastColumn >= 1)
            buffer.append('\t'); // the Content column: bodies never reach the file
        for (int column = 2; column <= lastColumn; ++column) {
            buffer.append('\t');
            appendLatin1(buffer, getToFirstBadChr(extent.table.cell(column, row)));
        }
        buffer.append("\r\n");
        if (buffer.size() >= flushThreshold)
            ok = flush(device, buffer) && ok;
        if (!ok)
            return false;
    }
    return flush(device, buffer) && ok;
}

ExportResult exportTabDelimited(const QString& path, const TableExtent& extent)
{
    ExportResult result;
    if (writeIsRefused(path)) {
        result.status = ExportResult::PermissionDenied;
        return result;
    }
    if (isDeviceOrPipe(path))
        return writeInPlace(path, extent);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        const int error = errno;
        result.status =
            isPermissionError(error) ? ExportResult::PermissionDenied : ExportResult::Failed;
        result.reason = file.errorString();
        return result;
    }
    if (!writeTabDelimited(file, extent)) {
        result.reason = file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.status =
            writeIsRefused(path) ? ExportResult::PermissionDenied : ExportResult::Failed;
        result.reason = file.errorString();
        return result;
    }
    result.status = ExportResult::Written;
    return result;
}
