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

void appendCell(QByteArray& line, const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        line.append(text.toUtf8());
    else
        appendLatin1(line, getToFirstBadChr(text));
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

ExportResult writeInPlace(const QString& path, const TableExtent& extent, TextEncoding encoding)
{
    ExportResult result;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.status =
            isPermissionError(errno) ? ExportResult::PermissionDenied : ExportResult::Failed;
        result.reason = file.errorString();
        return result;
    }
    if (!writeTabDelimited(file, extent, encoding)) {
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

bool writeTabDelimited(QIODevice& device, const TableExtent& extent, TextEncoding encoding)
{
    const int lastColumn = std::min(extent.lastColumn, extent.table.columnCount() - 1);
    bool ok = true;
    // Grown as needed rather than reserved: most tables are far smaller than the threshold.
    QByteArray buffer;
    if (encoding == TextEncoding::Utf8)
        buffer.append("\xEF\xBB\xBF");

    for (int column = 0; column <= lastColumn; ++column) {
        if (column > 0)
            buffer.append('\t');
        if (encoding == TextEncoding::Utf8)
            buffer.append(extent.table.cell(column, 0).toUtf8());
        else
            appendLatin1(buffer, extent.table.cell(column, 0));
    }
    buffer.append("\r\n");

    const int lineCount = extent.rows ? int(extent.rows->size()) : extent.rowCount;
    for (int line = 0; line < lineCount; ++line) {
        const int row = extent.rows ? (*extent.rows)[size_t(line)] : line + 1;
        appendCell(buffer, extent.table.cell(0, row), encoding);
        if (lastColumn >= 1)
            buffer.append('\t'); // the Content column: bodies never reach the file
        for (int column = 2; column <= lastColumn; ++column) {
            buffer.append('\t');
            appendCell(buffer, extent.table.cell(column, row), encoding);
        }
        buffer.append("\r\n");
        if (buffer.size() >= flushThreshold)
            ok = flush(device, buffer) && ok;
        if (!ok)
            return false;
    }
    return flush(device, buffer) && ok;
}

ExportResult exportTabDelimited(const QString& path, const TableExtent& extent,
                                TextEncoding encoding)
{
    ExportResult result;
    if (writeIsRefused(path)) {
        result.status = ExportResult::PermissionDenied;
        return result;
    }
    if (isDeviceOrPipe(path))
        return writeInPlace(path, extent, encoding);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        const int error = errno;
        result.status =
            isPermissionError(error) ? ExportResult::PermissionDenied : ExportResult::Failed;
        result.reason = file.errorString();
        return result;
    }
    if (!writeTabDelimited(file, extent, encoding)) {
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
