#include "outputfile.h"

#include "outputpaths.h"
#include "stagedfile.h"
#include "tabdelimited.h"

#include "analysis/nativepath.h"
#include "analysis/reusedbuffer.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr qsizetype flushThreshold = 1 << 20;
}

OutputFile::OutputFile(QString path) : path_(std::move(path)) {}

OutputFile::~OutputFile()
{
    device_.close();
    if (ownDescriptor_ >= 0)
        ::close(ownDescriptor_);
}

QString OutputFile::spoolFolder() const
{
    if (isStandardOutput() || writesInPlace(path_))
        return QDir::tempPath();
    return fromNativePath(folderOf(followLinks(toNativePath(path_))));
}

bool OutputFile::open()
{
    if (isStandardOutput()) {
        std::fflush(stdout);
        return attach(STDOUT_FILENO);
    }
    if (toNativePath(path_).isEmpty()) {
        fail(ENOENT);
        return false;
    }
    // Written in place, only the file's own permissions matter: opening it says whether they allow
    // writing. A save beside it needs its folder too.
    return writesInPlace(path_) ? openInPlace() : openStaged();
}

bool OutputFile::openInPlace()
{
    const int stream = standardStreamOf(path_);
    if (stream >= 0) {
        std::fflush(stream == STDOUT_FILENO ? stdout : stderr);
        return attach(stream);
    }
    ownDescriptor_ = ::open(toNativePath(path_).constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (ownDescriptor_ < 0) {
        fail(errno);
        return false;
    }
    return attach(ownDescriptor_);
}

bool OutputFile::openStaged()
{
    const QByteArray native = toNativePath(path_);
    if (outputWriteIsRefused(native)) {
        fail(EACCES);
        return false;
    }
    staged_ = std::make_unique<StagedFile>(native);
    if (const int error = staged_->create()) {
        staged_.reset();
        fail(error);
        return false;
    }
    return attach(staged_->descriptor());
}

bool OutputFile::attach(int descriptor)
{
    device_.close();
    if (!device_.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                      QFileDevice::DontCloseHandle))
        fail(Failed, device_.errorString());
    return status_ == Fine;
}

void OutputFile::write(const QByteArray& bytes)
{
    buffer_.append(bytes);
    if (buffer_.size() >= flushThreshold)
        flushBuffer();
}

bool OutputFile::flushBuffer()
{
    if (status_ == Fine && device_.isOpen() && !buffer_.isEmpty() &&
        device_.write(buffer_) != buffer_.size())
        fail(Failed, device_.errorString());
    emptyForReuse(buffer_);
    return status_ == Fine;
}

bool OutputFile::restart()
{
    if (!staged_ || status_ != Fine)
        return false;
    emptyForReuse(buffer_);
    device_.close();
    staged_.reset();
    openStaged();
    return true;
}

bool OutputFile::commit()
{
    flushBuffer();
    device_.close();
    if (staged_) {
        if (status_ == Fine) {
            if (const int error = staged_->commit())
                fail(error);
        }
        // Destroyed without a commit, the staged file leaves the user's file as it was.
        staged_.reset();
    } else if (ownDescriptor_ >= 0) {
        if (::close(ownDescriptor_) != 0)
            fail(errno);
        ownDescriptor_ = -1;
    }
    return status_ == Fine;
}

void OutputFile::fail(int error)
{
    fail(isPermissionError(error) ? PermissionDenied : Failed,
         QString::fromLocal8Bit(std::strerror(error)));
}

void OutputFile::fail(Status status, QString reason)
{
    if (status_ != Fine)
        return;
    status_ = status;
    reason_ = std::move(reason);
}
