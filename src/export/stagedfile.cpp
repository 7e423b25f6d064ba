#include "stagedfile.h"

#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray hiddenName(const QByteArray& folder)
{
    return folder + "/.postlint-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
}

// The signals that end a run from outside: Ctrl+C, kill, a reader of the report that went away.
// Held back for the few calls in which the contents have a name of their own, they end the
// process once the file is whole where it belongs, or gone.
class HeldSignals
{
public:
    HeldSignals()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGQUIT})
            sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    sigset_t previous_;
};

} // namespace

StagedFile::~StagedFile()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
    if (!name_.isEmpty())
        ::unlink(name_.constData());
}

int StagedFile::create(const QByteArray& folder)
{
    folder_ = folder;
    descriptor_ = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (descriptor_ >= 0)
        return 0;
    // Only these say that the file system has no unnamed files; any other error is the folder's.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return errno;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = hiddenName(folder);
        descriptor_ =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (descriptor_ >= 0) {
            name_ = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int StagedFile::truncate()
{
    if (::ftruncate(descriptor_, 0) != 0 || ::lseek(descriptor_, 0, SEEK_SET) != 0)
        return errno;
    return 0;
}

int StagedFile::finish(mode_t mode)
{
    // On the disk before it takes the file's name: a crash must not leave an empty file.
    if (::fchmod(descriptor_, mode) != 0 || ::fsync(descriptor_) != 0)
        return errno;
    return 0;
}

int StagedFile::commit(const Target& target)
{
    const HeldSignals held;
    if (name_.isEmpty()) {
        const QByteArray contents = "/proc/self/fd/" + QByteArray::number(descriptor_);
        for (int attempt = 0; name_.isEmpty() && attempt < 100; ++attempt) {
            const QByteArray name = hiddenName(folder_);
            if (::linkat(AT_FDCWD, contents.constData(), AT_FDCWD, name.constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                name_ = name;
            else if (errno != EEXIST)
                return errno;
        }
        if (name_.isEmpty())
            return EEXIST;
    }
    int error = putInPlace(name_, target);
    if (error != 0)
        ::unlink(name_.constData());
    name_.clear();
    if (::close(descriptor_) != 0 && error == 0)
        error = errno;
    descriptor_ = -1;
    return error;
}

int StagedFile::putInPlace(const QByteArray& name, const Target& target)
{
    const char* destination = target.destination.constData();
    if (target.replacing) {
        // Whatever the name leads to now, only the file the caller opened is replaced.
        struct stat now;
        if (::lstat(destination, &now) != 0)
            return errno == ENOENT ? replacedMeanwhile : errno;
        if (!S_ISREG(now.st_mode) || now.st_dev != target.device || now.st_ino != target.inode)
            return replacedMeanwhile;
        return ::rename(name.constData(), destination) == 0 ? 0 : errno;
    }
    if (::renameat2(AT_FDCWD, name.constData(), AT_FDCWD, destination, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the exclusive rename: a second name is as exclusive.
    if (::link(name.constData(), destination) != 0)
        return errno;
    ::unlink(name.constData());
    return 0;
}
