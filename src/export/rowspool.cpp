#include "rowspool.h"

#include "analysis/reusedbuffer.h"

#include <QDir>

#include <cstring>

namespace {

constexpr qsizetype spoolBlock = 1 << 20;

// Each spooled row: the lengths of what it waits for and of its line, then both.
struct RecordHead
{
    quint32 waiting = 0;
    quint32 line = 0;
};

} // namespace

bool RowSpool::open(const QString& folder, const QString& name)
{
    file_.setFileTemplate(QDir(folder).filePath(name));
    restart();
    return file_.open();
}

void RowSpool::restart()
{
    rowCount_ = 0;
    emptyForReuse(pending_);
    failure_.clear();
    if (file_.isOpen()) {
        file_.resize(0);
        file_.seek(0);
    }
}

void RowSpool::add(QByteArrayView waiting, QByteArrayView line)
{
    const RecordHead head{quint32(waiting.size()), quint32(line.size())};
    pending_.append(reinterpret_cast<const char*>(&head), sizeof head);
    pending_.append(waiting);
    pending_.append(line);
    ++rowCount_;
    if (pending_.size() >= spoolBlock)
        flush();
}

bool RowSpool::flush()
{
    if (failure_.isEmpty() && !pending_.isEmpty() && file_.write(pending_) != pending_.size())
        failure_ = file_.errorString();
    emptyForReuse(pending_);
    return failure_.isEmpty();
}

bool RowSpool::writeTo(OutputFile& output, const Finish& finish)
{
    if (!flush() || !file_.seek(0))
        return false;
    // Its memory goes to reading back.
    pending_ = QByteArray();
    QByteArray block;
    qsizetype at = 0;
    QByteArray line;
    for (qint64 row = 0; row < rowCount_;) {
        RecordHead head;
        const qsizetype left = block.size() - at;
        if (left >= qsizetype(sizeof head))
            std::memcpy(&head, block.constData() + at, sizeof head);
        const qsizetype length = qsizetype(sizeof head) + head.waiting + head.line;
        if (left < qsizetype(sizeof head) || left < length) {
            // Read on in large blocks into the one buffer; a row never stays split across two.
            block.remove(0, at);
            at = 0;
            const qsizetype kept = block.size();
            block.resize(kept + spoolBlock + length);
            const qint64 read = file_.read(block.data() + kept, spoolBlock + length);
            if (read <= 0) {
                failure_ = file_.errorString();
                return false;
            }
            block.resize(kept + read);
            continue;
        }
        const char* record = block.constData() + at + sizeof head;
        emptyForReuse(line);
        finish(QByteArrayView(record, head.waiting),
               QByteArrayView(record + head.waiting, head.line), line);
        output.write(line);
        at += length;
        ++row;
    }
    return true;
}
