#include "tabdelimited.h"

#include "outputpaths.h"

#include "analysis/nativepath.h"
#include "analysis/resulttables.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

char latin1Byte(char16_t character)
{
    switch (character) {
    case u'\t':
    case u'\r':
    case u'\n':
        // The file's own separators: inside a cell they would add a field or split the row.
        return ' ';
    default:
        // Every data character that reaches here is at most 255, so it maps to its own byte; a
        // header character above 255 is stored as '?'.
        return character > 0xFF ? '?' : char(character);
    }
}

void appendLatin1(QByteArray& line, const QString& text)
{
    const qsizetype start = line.size();
    line.resize(start + text.size());
    char* out = line.data() + start;
    for (const QChar character : text)
        *out++ = latin1Byte(character.unicode());
}

void appendUtf8(QByteArray& line, const QString& text)
{
    const qsizetype start = line.size();
    line.append(text.toUtf8());
    for (qsizetype i = start; i < line.size(); ++i) {
        char& byte = line[i];
        if (byte == '\t' || byte == '\r' || byte == '\n')
            byte = ' ';
    }
}

void appendCell(QByteArray& line, const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        appendUtf8(line, text);
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

ExportResult failure(int error)
{
    return {isPermissionError(error) ? ExportResult::PermissionDenied : ExportResult::Failed,
            QString::fromLocal8Bit(std::strerror(error))};
}

ExportResult failure(const QFileDevice& file)
{
    return {ExportResult::Failed, file.errorString()};
}

// Whether writing path is refused by the file's or its folder's permissions. Checked before
// anything is written: replacing a read-only file through a new file and a rename would
// otherwise succeed, although the user's file says it must not be changed.
bool writeIsRefused(const QByteArray& path)
{
    if (::access(path.constData(), F_OK) == 0 && ::access(path.constData(), W_OK) != 0 &&
        isPermissionError(errno))
        return true;
    return ::access(folderOf(path).constData(), W_OK | X_OK) != 0 && isPermissionError(errno);
}

ExportResult writeToDescriptor(int descriptor, const TableExtent& extent, TextEncoding encoding)
{
    QFile file;
    if (!file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::DontCloseHandle))
        return failure(file);
    if (!writeTabDelimited(file, extent, encoding))
        return failure(file);
    return {ExportResult::Written, {}};
}

// A device, a pipe or one of the process's own streams: written where it stands, never
// truncated, so that a stream opened for appending keeps what it held.
ExportResult writeInPlace(const QString& path, const TableExtent& extent, TextEncoding encoding)
{
    const int stream = standardStreamOf(path);
    if (stream >= 0) {
        std::fflush(stream == STDOUT_FILENO ? stdout : stderr);
        return writeToDescriptor(stream, extent, encoding);
    }
    const int descriptor = ::open(toNativePath(path).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return failure(errno);
    ExportResult result = writeToDescriptor(descriptor, extent, encoding);
    if (::close(descriptor) != 0 && result.status == ExportResult::Written)
        result = failure(errno);
    return result;
}

} // namespace

// The new contents of a file, written beside it under a name of their own and put in its place
// only when complete: a failed or interrupted export leaves the user's file as it was.
class StagedFile
{
public:
    explicit StagedFile(const QByteArray& destination) : destination_(followLinks(destination)) {}
    ~StagedFile()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        if (!temporary_.isEmpty())
            ::unlink(temporary_.constData());
    }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // 0, or the system's error.
    int create()
    {
        struct stat existing;
        const bool replacing = ::stat(destination_.constData(), &existing) == 0;
        if (replacing && S_ISDIR(existing.st_mode))
            return EISDIR;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = folderOf(destination_) + "/.postlint-" +
                                    QByteArray::number(QRandomGenerator::global()->generate(), 16);
            descriptor_ = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor_ >= 0) {
                temporary_ = name;
                break;
            }
            if (errno != EEXIST)
                return errno;
        }
        if (descriptor_ < 0)
            return EEXIST;
        if (replacing)
            ::fchmod(descriptor_, existing.st_mode & 07777);
        return 0;
    }
    int descriptor() const { return descriptor_; }
    int commit()
    {
        // On the disk before it takes the file's name: a crash must not leave an empty file.
        int error = ::fsync(descriptor_) != 0 ? errno : 0;
        if (::close(descriptor_) != 0 && error == 0)
            error = errno;
        descriptor_ = -1;
        if (error == 0 && ::rename(temporary_.constData(), destination_.constData()) != 0)
            error = errno;
        if (error == 0)
            temporary_.clear();
        return error;
    }

private:
    QByteArray destination_;
    QByteArray temporary_;
    int descriptor_ = -1;
};

StagedExport::StagedExport(const QString& path, const TableExtent& extent, TextEncoding encoding)
{
    const QByteArray native = toNativePath(path);
    if (native.isEmpty()) {
        result_ = failure(ENOENT);
        return;
    }
    // Written in place, only the file's own permissions matter: opening it says whether they allow
    // writing. A save beside it needs its folder too.
    if (writesInPlace(path)) {
        result_ = writeInPlace(path, extent, encoding);
        return;
    }
    if (writeIsRefused(native)) {
        result_ = {ExportResult::PermissionDenied, QString::fromLocal8Bit(std::strerror(EACCES))};
        return;
    }
    staged_ = std::make_unique<StagedFile>(native);
    if (const int error = staged_->create()) {
        result_ = failure(error);
        return;
    }
    result_ = writeToDescriptor(staged_->descriptor(), extent, encoding);
}

StagedExport::~StagedExport() = default;

ExportResult StagedExport::commit()
{
    if (result_.status == ExportResult::Written && staged_) {
        if (const int error = staged_->commit())
            result_ = failure(error);
        staged_.reset();
    }
    return result_;
}

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
            appendUtf8(buffer, extent.table.cell(column, 0));
        else
            appendLatin1(buffer, extent.table.cell(column, 0));
    }
    buffer.append("\r\n");

    const int lineCount = extent.rows ? int(extent.rows->size()) : extent.rowCount;
    for (int line = 0; line < lineCount; ++line) {
        const int row = extent.rows ? (*extent.rows)[size_t(line)] : line + 1;
        appendCell(buffer, extent.table.cell(0, row), encoding);
        if (lastColumn >= BodyColumn)
            buffer.append('\t'); // the Content column: bodies never reach the file
        for (int column = BodyColumn + 1; column <= lastColumn; ++column) {
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
    return StagedExport(path, extent, encoding).commit();
}
