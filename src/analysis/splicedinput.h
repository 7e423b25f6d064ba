#pragma once

#include <QByteArray>
#include <QIODevice>

// An export as the reader reads it again past a break: the start of the file up to the channel's
// start tag, a line end when the reading goes on from a later line (so that libxml2 counts the
// columns of that line as the file does), then the file's bytes from there, and a few closing tags
// when only one item is read.
class SplicedInput : public QIODevice
{
public:
    struct Parts
    {
        QByteArray head;
        qint64 lineEnds = 0;
        qint64 from = 0;
        qint64 to = -1; // the end of the file when negative
        QByteArray tail;
    };

    SplicedInput(QIODevice& file, Parts parts);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 readFile(char* data, qint64 maxSize);

    QIODevice& file_;
    Parts parts_;
    qint64 headRead_ = 0;
    qint64 lineEndsRead_ = 0;
    qint64 fileAt_ = -1;
    bool fileDone_ = false;
    qint64 tailRead_ = 0;
    qint64 readSize_ = 1024;
};
