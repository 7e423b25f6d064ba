#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// Which file a path names, as far as writing to it is concerned. Two paths are one file when
// both name an existing file with the same device and inode (whatever links lead there), or
// when neither exists yet and both resolve to the same place.
struct FileIdentity
{
    bool exists = false;
    bool regular = false;
    bool folder = false;
    dev_t device = 0;
    ino_t inode = 0;
    // For a file that does not exist: where it would be created, links and ".." resolved.
    QByteArray resolvedPath;

    bool isSameFile(const FileIdentity& other) const;
};

FileIdentity identifyPath(const QString& path);

// The folder part of a file name in the system's bytes: "." when it names none.
QByteArray folderOf(const QByteArray& nativePath);
FileIdentity identifyDescriptor(int descriptor);

// The process's own standard output or error when path names that very file (through
// "/dev/stdout", "/proc/self/fd/1" or its own name), or -1. Such an output is written through
// the descriptor the process already holds, so that a file opened for appending is appended to.
int standardStreamOf(const QString& path);

// Whether path, once opened, is written where it stands: a device, a pipe, a socket, or one of
// the process's standard streams. Replacing such a file by a new one would destroy it, or hand
// the output to a file nobody reads.
bool writesInPlace(const QString& path);

// What makes a set of outputs unsafe before anything is written: an output that is the input
// being read (the user's export would be replaced by a table), or two outputs that are one file
// (one table would replace the other).
struct OutputClash
{
    enum Kind
    {
        None,
        OverwritesInput,
        SharedFile
    };
    Kind kind = None;
    // Indexes into the outputs: the output at fault, and for SharedFile the earlier one it
    // shares its file with.
    int output = -1;
    int earlierOutput = -1;
};

OutputClash findOutputClash(const FileIdentity& input, const QList<FileIdentity>& outputs);
