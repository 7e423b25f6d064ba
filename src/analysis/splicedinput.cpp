#include "splicedinput.h"

#include <algorithm>
#include <cstring>

SplicedInput::SplicedInput(QIODevice& file, Parts parts) : file_(file), parts_(std::move(parts))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 SplicedInput::readFile(char* data, qint64 maxSize)
{
    if (fileAt_ < 0) {
        if (!file_.seek(parts_.from))
            return -1;
        fileAt_ = parts_.from;
    }
    // A pass after a break often ends at the next break soon after: reads that start small and
    // grow spare the repair and the guard most of what such a pass would read ahead.
    maxSize = std::min(maxSize, readSize_);
    readSize_ = std::min<qint64>(2 * readSize_, 1 << 20);
    if (parts_.to >= 0)
        maxSize = std::min(maxSize, parts_.to - fileAt_);
    const qint64 read = maxSize > 0 ? file_.read(data, maxSize) : 0;
    if (read < 0)
        return -1;
    fileAt_ += read;
    fileDone_ = read == 0;
    return read;
}

qint64 SplicedInput::readData(char* data, qint64 maxSize)
{
    if (headRead_ < parts_.head.size()) {
        const qint64 count = std::min(maxSize, parts_.head.size() - headRead_);
        std::memcpy(data, parts_.head.constData() + headRead_, size_t(count));
        headRead_ += count;
        return count;
    }
    if (lineEndsRead_ < parts_.lineEnds) {
        const qint64 count = std::min(maxSize, parts_.lineEnds - lineEndsRead_);
        std::memset(data, '\n', size_t(count));
        lineEndsRead_ += count;
        return count;
    }
    if (!fileDone_) {
        const qint64 read = readFile(data, maxSize);
        if (read != 0)
            return read;
    }
    const qint64 count = std::min(maxSize, parts_.tail.size() - tailRead_);
    std::memcpy(data, parts_.tail.constData() + tailRead_, size_t(count));
    tailRead_ += count;
    return count;
}
