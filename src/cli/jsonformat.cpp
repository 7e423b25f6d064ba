#include "jsonformat.h"

#include "jsonstream.h"

#include <QTemporaryFile>

namespace {

void optionalText(JsonStream& json, const char* key, const QString& text)
{
    json.key(key);
    if (text.isEmpty())
        json.null();
    else
        json.value(text);
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
            linkSpool_->open();
        }
    }

    void postFault(const PostFault& fault) override
    {
        json_.beginObject();
        json_.key("title").value(fault.title);
        optionalText(json_, "postId", fault.postId);
        optionalText(json_, "permalink", fault.permalink);
        json_.key("code").value(fault.errorCode);
        json_.key("reason").value(fault.reason);
        json_.key("line").value(fault.line);
        json_.key("pos").value(fault.pos);
        json_.key("exportLine");
        fault.inExport.isKnown() ? json_.value(fault.inExport.line) : json_.null();
        json_.key("exportColumn");
        fault.inExport.isKnown() ? json_.value(fault.inExport.column) : json_.null();
        json_.key("source").value(fault.source);
        json_.key("narrowed").value(fault.narrowed);
        json_.endObject();
    }

    // Link rows arrive between the faults, so they wait in a spool until the faults are out.
    void links(const QString& title, const QString& postId,
               const std::vector<FoundLink>& links) override
    {
        if (!linkSpool_)
            return;
        for (const FoundLink& link : links) {
            QByteArray entry = linkCount_++ > 0 ? QByteArray(",\n        ") : QByteArray();
            entry.append("{\"title\": ");
            JsonStream::appendString(entry, title);
            entry.append(", \"postId\": ");
            if (postId.isEmpty())
                entry.append("null");
            else
                JsonStream::appendString(entry, postId);
            entry.append(", \"attributes\": {");
            for (size_t i = 0; i < link.attributes.size(); ++i) {
                entry.append(i > 0 ? ", " : "");
                JsonStream::appendString(entry, link.attributes[i].name);
                entry.append(": ");
                JsonStream::appendString(entry, QString::fromUtf8(link.value(link.attributes[i])));
            }
            entry.append("}}");
            linkSpool_->write(entry);
        }
    }

    void exportFaults(const QList<ExportFault>& faults) override
    {
        json_.endArray();
        json_.key("exportFaults").beginArray();
        for (const ExportFault& fault : faults) {
            json_.beginObject();
            json_.key("line").value(fault.line);
            json_.key("column").value(fault.column);
            json_.key("reason").value(fault.reason);
            json_.key("inItem").value(fault.inItem);
            optionalText(json_, "title", fault.inItem ? fault.itemTitle : QString());
            optionalText(json_, "postId", fault.inItem ? fault.postId : QString());
            json_.endObject();
        }
        json_.endArray();
        if (linkSpool_) {
            json_.key("links").beginArray();
            linkSpool_->flush();
            json_.rawElements(*linkSpool_);
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
        optionalText(json_, "problem", summary.problem);
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

private:
    FormatSettings settings_;
    JsonStream json_;
    FILE* out_;
    std::unique_ptr<QTemporaryFile> linkSpool_;
    qint64 linkCount_ = 0;
};

} // namespace

std::unique_ptr<FaultFormat> makeJsonFormat(const FormatSettings& settings, FILE* out)
{
    return std::make_unique<JsonFormat>(settings, out);
}
