#include "nativepath.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return byte >= low && byte <= high;
}

// The length of the valid UTF-8 sequence at the start of bytes, or 0. Encoded surrogates and
// overlong forms are not valid.
qsizetype validSequenceLength(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || !isContinuation(at(1), low, high))
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (!isContinuation(at(i)))
            return 0;
    }
    return length;
}

bool isEscapedByte(QChar character)
{
    return character.unicode() >= 0xDC80 && character.unicode() <= 0xDCFF;
}

} // namespace

QString fromNativePath(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        qsizetype valid = i;
        qsizetype length = 0;
        while (valid < bytes.size() && (length = validSequenceLength(bytes.sliced(valid))) > 0)
            valid += length;
        path.append(QString::fromUtf8(bytes.sliced(i, valid - i)));
        if (valid < bytes.size())
            path.append(QChar(0xDC00 + static_cast<unsigned char>(bytes.at(valid++))));
        i = valid;
    }
    return path;
}

QByteArray toNativePath(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const bool pairedLow = i > 0 && path.at(i - 1).isHighSurrogate();
        if (!isEscapedByte(path.at(i)) || pairedLow)
            continue;
        bytes.append(QStringView(path).sliced(runStart, i - runStart).toUtf8());
        bytes.append(char(path.at(i).unicode() - 0xDC00));
        runStart = i + 1;
    }
    bytes.append(QStringView(path).sliced(runStart).toUtf8());
    return bytes;
}

QString openForReading(QFile& file, const QString& path)
{
    const int descriptor = ::open(toNativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (descriptor >= 0 && ::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(descriptor);
        return QString::fromLocal8Bit(std::strerror(EISDIR));
    }
    if (descriptor < 0 ||
        !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        if (descriptor >= 0)
            ::close(descriptor);
        return reason;
    }
    return QString();
}
