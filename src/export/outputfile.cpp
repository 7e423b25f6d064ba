#include "outputfile.h"

#include "outputpaths.h"
#include "stagedfile.h"
#include "tabdelimited.h"

#include "analysis/nativepath.h"
#include "analysis/reusedbuffer.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype flushThreshold = 1 << 20;

// The system's rule for links in shared folders (fs.protected_symlinks), kept whether or not the
// system enforces it: in a sticky folder that everyone may write, such as /tmp, a link is followed
// only by its owner or when it belongs to the folder's owner. Otherwise another user could plant
// one there that leads a table onto a file of the user's.
bool isPlantedLink(const QByteArray& path)
{
    struct stat link;
    struct stat folder;
    if (::lstat(path.constData(), &link) != 0 || !S_ISLNK(link.st_mode) ||
        ::stat(folderOf(path).constData(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

bool isSymbolicLink(const QByteArray& path)
{
    struct stat link;
    return ::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode);
}

// Where the system found the file it opened, links followed: the name to replace.
QByteArray openedPath(int descriptor)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(descriptor);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(self.constData(), target, sizeof target);
    return length > 0 && target[0] == '/' ? QByteArray(target, length) : QByteArray();
}

// The mode a new file gets from this process: what the system gives a file created with 0666.
mode_t newFileMode()
{
    mode_t mask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line; !(line = status.readLine()).isEmpty();) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    mask = mode_t(value);
                break;
            }
        }
    }
    return 0666 & ~mask;
}

} // namespace

OutputFile::OutputFile(QString path) : path_(std::move(path)) {}

OutputFile::~OutputFile()
{
    file_.close();
    if (ownDescriptor_ >= 0)
        ::close(ownDescriptor_);
    if (createdTarget_) {
        // Still the empty file this output made: it goes, as a failed save leaves nothing behind.
        struct stat now;
        if (::lstat(destination_.constData(), &now) == 0 && now.st_dev == device_ &&
            now.st_ino == inode_ && now.st_size == 0)
            ::unlink(destination_.constData());
    }
}

QString OutputFile::spoolFolder() const
{
    if (isStandardOutput() || writesInPlace(path_))
        return QDir::tempPath();
    return fromNativePath(folderOf(toNativePath(path_)));
}

bool OutputFile::open()
{
    if (isStandardOutput()) {
        std::fflush(stdout);
        return attach(STDOUT_FILENO);
    }
    const QByteArray native = toNativePath(path_);
    if (native.isEmpty()) {
        fail(ENOENT);
        return false;
    }
    if (isPlantedLink(native)) {
        fail(EACCES);
        return false;
    }
    // Opened without truncating: a regular file keeps its contents until the new ones are whole,
    // and whether the file may be written is the system's answer.
    int descriptor = ::open(native.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0 && errno == ENOENT) {
        if (!isSymbolicLink(native)) {
            destination_ = native;
            mode_ = newFileMode();
            return openStaged(folderOf(native));
        }
        // A link to a file yet to be made: made where the system lets the link lead.
        descriptor = ::open(native.constData(), O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC, 0666);
        createdTarget_ = descriptor >= 0;
    }
    if (descriptor < 0) {
        fail(errno);
        return false;
    }
    return openExisting(descriptor, native);
}

bool OutputFile::openExisting(int descriptor, const QByteArray& native)
{
    struct stat opened;
    if (::fstat(descriptor, &opened) != 0) {
        fail(errno);
        ::close(descriptor);
        return false;
    }
    const FileIdentity identity = identifyDescriptor(descriptor);
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
        if (identifyDescriptor(stream).isSameFile(identity)) {
            // Through the descriptor the process holds, so that a file opened for appending is
            // appended to.
            ::close(descriptor);
            std::fflush(stream == STDOUT_FILENO ? stdout : stderr);
            return attach(stream);
        }
    }
    if (!S_ISREG(opened.st_mode)) {
        ownDescriptor_ = descriptor;
        return attach(descriptor);
    }
    destination_ = openedPath(descriptor);
    ::close(descriptor);
    if (destination_.isEmpty())
        destination_ = native;
    replacing_ = true;
    mode_ = opened.st_mode & 0777;
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    return openStaged(folderOf(destination_));
}

bool OutputFile::openStaged(const QByteArray& folder)
{
    staged_ = std::make_unique<StagedFile>();
    if (const int error = staged_->create(folder)) {
        fail(error);
        return false;
    }
    return attach(staged_->descriptor());
}

bool OutputFile::attach(int descriptor)
{
    file_.close();
    if (!file_.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                    QFileDevice::DontCloseHandle))
        fail(Failed, file_.errorString());
    return status_ == Fine;
}

void OutputFile::write(const QByteArray& bytes)
{
    buffer_.append(bytes);
    if (buffer_.size() >= flushThreshold)
        flushBuffer();
}

bool OutputFile::writeWith(const std::function<bool(QIODevice&)>& writer)
{
    if (status_ == Fine && flushBuffer() && file_.isOpen() && !writer(file_))
        fail(Failed, file_.errorString());
    return status_ == Fine;
}

bool OutputFile::flushBuffer()
{
    if (status_ == Fine && file_.isOpen() && !buffer_.isEmpty() &&
        file_.write(buffer_) != buffer_.size())
        fail(Failed, file_.errorString());
    emptyForReuse(buffer_);
    return status_ == Fine;
}

bool OutputFile::restart()
{
    if (!staged_ || status_ != Fine)
        return false;
    emptyForReuse(buffer_);
    if (const int error = staged_->truncate())
        fail(error);
    else
        attach(staged_->descriptor());
    return true;
}

bool OutputFile::finish()
{
    if (finished_)
        return status_ == Fine;
    finished_ = true;
    flushBuffer();
    file_.close();
    if (ownDescriptor_ >= 0) {
        if (::close(ownDescriptor_) != 0)
            fail(errno);
        ownDescriptor_ = -1;
    }
    if (staged_ && status_ == Fine) {
        if (const int error = staged_->finish(mode_t(mode_)))
            fail(error);
    }
    return status_ == Fine;
}

bool OutputFile::commit()
{
    if (!finish() || !staged_)
        return status_ == Fine;
    const int error = staged_->commit({destination_, replacing_, device_, inode_});
    if (error == StagedFile::replacedMeanwhile)
        fail(Failed,
             QStringLiteral("the file was replaced by another while the table was written"));
    else if (error != 0)
        fail(error);
    else
        createdTarget_ = false;
    staged_.reset();
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
