#include "jsonformat.h"

#include "jsonstream.h"

#include <QDir>
#include <QJsonObject>
#include <QTemporaryFile>

namespace {

QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue numberOrNull(bool known, qint64 number)
{
    return known ? QJsonValue(number) : QJsonValue(QJsonValue::Null);
}

// One document per run; its shape is described in the README and kept stable.
class JsonFormat : public FaultFormat
{
public:
    JsonFormat(const FormatSettings& settings, FILE* out)
        : settings_(settings), json_([out](const QByteArray& bytes) {
              std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
          }),
          out_(out)
    {
        json_.beginObject();
        json_.key("tool").value("postlint-report");
        json_.key("version").value(settings_.version);
        json_.key("exports").beginArray();
    }

    bool wantsLinks() const override { return settings_.withLinks; }

    void beginExport(const QString& path) override
    {
        json_.beginObject();
        json_.key("file").value(path);
        json_.key("postFaults").beginArray();
        linkCount_ = 0;
        if (settings_.withLinks) {
            linkSpool_ = std::make_unique<QTemporaryFile>();
            if (!linkSpool_->open())
                spoolFailed(QStringLiteral("cannot make a spool file for the link rows in %1")
                                .arg(qEnvironmentVariable("TMPDIR", QDir::tempPath())));
        }
    }

    void postFault(const PostFault& fault) override
    {
        const bool placed = fault.inExport.isKnown();
        json_.value(QJsonObject{{"title", fault.title},
                                {"postId", textOrNull(fault.postId)},
                                {"permalink", textOrNull(fault.permalink)},
                                {"code", fault.errorCode},
                                {"reason", fault.reason},
                                {"line", fault.line},
                                {"pos", fault.pos},
                                {"exportLine", numberOrNull(placed, fault.inExport.line)},
                                {"exportColumn", numberOrNull(placed, fault.inExport.column)},
                                {"source", fault.source},
                                {"narrowed", JsonStream::wholeCharacters(fault.narrowed)}});
    }

    // Link rows arrive between the faults, so they wait in a spool until the faults are out.
    void links(const QString& title, const QString& postId,
               const std::vector<FoundLink>& links) override
    {
        if (!linkSpool_)
            return;
        for (const FoundLink& link : links) {
            QJsonObject attributes;
            // A name met twice keeps the later value, as in the link table.
            for (const FoundLink::Attribute& attribute : link.attributes)
                attributes.insert(attribute.name, QString::fromUtf8(link.value(attribute)));
            QByteArray entry =
                linkCount_++ > 0 ? QByteArray(JsonStream::entrySeparator) : QByteArray();
            entry.append(JsonStream::compact(QJsonObject{
                {"title", title}, {"postId", textOrNull(postId)}, {"attributes", attributes}}));
            if (linkSpool_->write(entry) != entry.size())
                spoolFailed(QStringLiteral("cannot spool the link rows"));
        }
    }

    void exportFaults(const QList<ExportFault>& faults) override
    {
        json_.endArray();
        json_.key("exportFaults").beginArray();
        for (const ExportFault& fault : faults) {
            json_.value(
                QJsonObject{{"line", fault.line},
                            {"column", fault.column},
                            {"reason", fault.reason},
                            {"inItem", fault.inItem},
                            {"title", textOrNull(fault.inItem ? fault.itemTitle : QString())},
                            {"postId", textOrNull(fault.inItem ? fault.postId : QString())}});
        }
        json_.endArray();
        if (linkSpool_) {
            json_.key("links").beginArray();
            if (!linkSpool_->flush())
                spoolFailed(QStringLiteral("cannot spool the link rows"));
            else
                json_.rawElements(*linkSpool_);
            if (linkSpool_ && (!linkSpool_->atEnd() || linkSpool_->error() != QFile::NoError))
                spoolFailed(QStringLiteral("cannot read back the spooled link rows"));
            json_.endArray();
            linkSpool_.reset();
        }
    }

    void endExport(const ExportSummary& summary) override
    {
        json_.key("items").value(summary.items);
        json_.key("notWellFormed").value(summary.notWellFormed);
        json_.key("linkRows").value(summary.linkRows);
        json_.key("usable").value(summary.usable);
        json_.key("problem").value(textOrNull(summary.problem));
        json_.key("exitStatus").value(summary.exitStatus);
        json_.endObject();
    }

    void endRun(int exitStatus) override
    {
        json_.endArray();
        json_.key("exitStatus").value(exitStatus);
        json_.endObject();
        json_.flush();
        std::fflush(out_);
    }

    QString problem() const override { return problem_; }

private:
    // The links listed would be fewer than counted: the run must fail, not pass them over.
    void spoolFailed(const QString& what)
    {
        if (problem_.isEmpty())
            problem_ = what + QStringLiteral(": ") + linkSpool_->errorString();
        linkSpool_.reset();
    }

    FormatSettings settings_;
    JsonStream json_;
    FILE* out_;
    std::unique_ptr<QTemporaryFile> linkSpool_;
    qint64 linkCount_ = 0;
    QString problem_;
};

} // namespace

std::unique_ptr<FaultFormat> makeJsonFormat(const FormatSettings& settings, FILE* out)
{
    return std::make_unique<JsonFormat>(settings, out);
}
