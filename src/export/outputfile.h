#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

class StagedFile;

// One output of a streamed run. A regular file appears only once it is complete, through a
// temporary file beside it, so that a failed run leaves a file already at that path as it was;
// a device, a pipe or one of the process's own standard streams is written in place, never
// truncated; "-" is standard output. Writes are buffered.
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
    // Drops everything written so far and returns true, where the output allows it; a stream
    // keeps what it was given and returns false.
    bool restart();
    // Flushes and, for a regular file, puts it in place. False when anything failed.
    bool commit();

    Status status() const { return status_; }
    // The system's reason when the status is not Fine.
    const QString& reason() const { return reason_; }

private:
    bool openInPlace();
    bool openStaged();
    bool attach(int descriptor);
    bool flushBuffer();
    void fail(int error);
    void fail(Status status, QString reason);

    QString path_;
    std::unique_ptr<StagedFile> staged_;
    int ownDescriptor_ = -1;
    QFile device_;
    QByteArray buffer_;
    Status status_ = Fine;
    QString reason_;
};
