#pragma once

#include "outputpaths.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
