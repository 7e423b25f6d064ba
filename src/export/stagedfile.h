#pragma once

#include <QByteArray>

#include <sys/types.h>

// The new contents of a regular file, written beside it and put in its place only when complete:
// a failed or interrupted save leaves the user's file as it was. Where the file system allows,
// the contents have no name until they take the file's, so that nothing is left behind when the
// process is killed; elsewhere they have a hidden name of their own, removed when the staged file
// is destroyed. Either way they are readable by their owner alone until complete.
class StagedFile
{
public:
    StagedFile() = default;
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Makes the contents in folder; 0, or the system's error.
    int create(const QByteArray& folder);
    int descriptor() const { return descriptor_; }
    // Empties the contents, to write them again from the start; 0, or the system's error.
    int truncate();
    // Gives the complete contents their mode and puts them on the disk; 0, or the system's error.
    int finish(mode_t mode);
    // Puts the finished contents at destination. When replacing, destination must still
    // be that very file (device and inode), the one the caller opened; otherwise nothing may
    // be there yet. 0, the system's error, or replacedMeanwhile.
    struct Target
    {
        QByteArray destination;
        bool replacing = false;
        dev_t device = 0;
        ino_t inode = 0;
    };
    static constexpr int replacedMeanwhile = -1;
    int commit(const Target& target);

private:
    int putInPlace(const QByteArray& name, const Target& target);

    QByteArray folder_;
    // Empty while the contents have no name.
    QByteArray name_;
    int descriptor_ = -1;
};
