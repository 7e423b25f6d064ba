#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Paths that make writing fail, for the tests of failed exports.
namespace faultpaths {

// A full device of its own in folder: should a save ever replace the node by a file again, the
// machine's /dev/full must not be the one it destroys. Without root a save cannot touch /dev, so
// /dev/full itself is safe to use then. Empty when neither can be had.
inline QString fullDevice(const QString& folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("full"));
    if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0)
        return path;
    return ::geteuid() == 0 ? QString() : QStringLiteral("/dev/full");
}

} // namespace faultpaths
