#include "nativepath.h"

#include "utf8sequence.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        while (valid < bytes.size() &&
               (length = utf8::sequenceAt(data + valid, bytes.size() - valid, true)) > 0)
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
