#include "outputpaths.h"

#include "analysis/nativepath.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Symbolic links followed before giving up, as the system itself does.
constexpr int linkLimit = 40;

FileIdentity identityOf(const struct stat& status)
{
    FileIdentity identity;
    identity.exists = true;
    identity.regular = S_ISREG(status.st_mode);
    identity.folder = S_ISDIR(status.st_mode);
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
    return identity;
}

// Where a path to a file that does not exist yet leads, for comparing it with other paths; only
// ever read, never written through: the system follows links itself when a file is opened.
QByteArray followLinks(QByteArray path)
{
    for (int links = 0; links < linkLimit; ++links) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length < 0)
            break;
        const QByteArray pointed(target, length);
        path = pointed.startsWith('/') ? pointed : folderOf(path) + '/' + pointed;
    }
    return path;
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Where a file that does not exist would be created: the deepest existing folder resolved by the
// system, then the rest of the path; a dangling link is followed to where it points.
QByteArray resolveMissing(const QByteArray& path)
{
    const QByteArray linked = followLinks(path);
    QByteArray rest = nameOf(linked);
    QByteArray folder = folderOf(linked);
    while (true) {
        char resolved[PATH_MAX];
        if (::realpath(folder.constData(), resolved) != nullptr)
            return QByteArray(resolved) + '/' + rest;
        if (folder == "/" || folder == ".")
            return folder + '/' + rest;
        rest = nameOf(folder) + '/' + rest;
        folder = folderOf(folder);
    }
}

} // namespace

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

bool FileIdentity::isSameFile(const FileIdentity& other) const
{
    if (exists != other.exists)
        return false;
    if (exists)
        return device == other.device && inode == other.inode;
    return resolvedPath == other.resolvedPath;
}

FileIdentity identifyPath(const QString& path)
{
    const QByteArray native = toNativePath(path);
    struct stat status;
    if (::stat(native.constData(), &status) == 0)
        return identityOf(status);
    FileIdentity identity;
    identity.resolvedPath = resolveMissing(native);
    return identity;
}

FileIdentity identifyDescriptor(int descriptor)
{
    struct stat status;
    if (::fstat(descriptor, &status) != 0)
        return {};
    return identityOf(status);
}

int standardStreamOf(const QString& path)
{
    const FileIdentity file = identifyPath(path);
    if (!file.exists)
        return -1;
    for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
        if (identifyDescriptor(stream).isSameFile(file))
            return stream;
    }
    return -1;
}

bool writesInPlace(const QString& path)
{
    const FileIdentity file = identifyPath(path);
    if (!file.exists || file.folder)
        return false;
    return !file.regular || standardStreamOf(path) >= 0;
}

OutputClash findOutputClash(const FileIdentity& input, const QList<FileIdentity>& outputs)
{
    for (int i = 0; i < outputs.size(); ++i) {
        if (input.exists && outputs.at(i).isSameFile(input))
            return {OutputClash::OverwritesInput, i, -1};
        for (int earlier = 0; earlier < i; ++earlier) {
            if (outputs.at(i).isSameFile(outputs.at(earlier)))
                return {OutputClash::SharedFile, i, earlier};
        }
    }
    return {};
}
