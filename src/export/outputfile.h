#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>

#include <sys/types.h>

class StagedFile;

// One output file, for the window's export and the report's tables alike. A regular file is
// replaced only once it is complete, through new contents beside it, so that a failed run leaves a
// file already at that path as it was; a device, a pipe or one of the process's own standard
// streams is written in place, never truncated; "-" is standard output. The path is opened by the
// system, which follows symbolic links as it allows (a link planted by another user in a shared
// sticky folder is refused); only the file so opened is ever replaced. Writes are buffered.
class OutputFile
{
public:
    enum Status
    {
        Fine,
        PermissionDenied,
        Failed
    };

    explicit OutputFile(QString path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const QString& path() const { return path_; }
    bool isStandardOutput() const { return path_ == QLatin1String("-"); }
    // Where a spool file for this output goes: beside it, or in the temporary folder for streams.
    QString spoolFolder() const;

    bool open();
    void write(const QByteArray& bytes);
    // For a writer that buffers on its own: it writes to the device and returns false when the
    // device refused a write, whose reason the output then keeps.
    bool writeWith(const std::function<bool(QIODevice&)>& writer);
    // Drops everything written so far and returns true, where the output allows it; a stream
    // keeps what it was given and returns false.
    bool restart();
    // Flushes and, for a regular file, makes the new contents durable, without putting them in
    // place yet: a caller with several outputs finishes all before it commits any. False when
    // anything failed.
    bool finish();
    // Finishes and, for a regular file, puts it in place. False when anything failed. Destroyed
    // without a commit, an output leaves the file at its path as it was.
    bool commit();
    // Whether the output, once committed, replaces a file rather than writing a stream.
    bool isStaged() const { return staged_ != nullptr; }

    Status status() const { return status_; }
    // The system's reason when the status is not Fine.
    const QString& reason() const { return reason_; }

private:
    bool openExisting(int descriptor, const QByteArray& native);
    bool openStaged(const QByteArray& folder);
    bool attach(int descriptor);
    bool flushBuffer();
    void fail(int error);
    void fail(Status status, QString reason);

    QString path_;
    std::unique_ptr<StagedFile> staged_;
    // Where staged contents go, and what they replace there.
    QByteArray destination_;
    bool replacing_ = false;
    unsigned mode_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    // The empty file made where a dangling link pointed, removed again when the run fails.
    bool createdTarget_ = false;
    bool finished_ = false;
    int ownDescriptor_ = -1;
    QFile file_;
    QByteArray buffer_;
    Status status_ = Fine;
    QString reason_;
};
