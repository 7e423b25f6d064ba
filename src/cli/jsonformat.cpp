#include "jsonformat.h"

#include "jsonstream.h"

#include "audit/exportaudit.h"

#include <QDir>
#include <QJsonArray>
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

QJsonObject findingObject(const AuditFinding& finding)
{
    const bool placed = finding.exportLine > 0;
    return {{"check", finding.check},
            {"severity", severityName(finding.severity)},
            {"title", finding.title},
            {"postId", textOrNull(finding.postId)},
            {"subject", JsonStream::wholeCharacters(finding.subject)},
            {"element", textOrNull(finding.element)},
            {"attribute", textOrNull(finding.attribute)},
            {"bodyLine", numberOrNull(finding.bodyLine > 0, finding.bodyLine)},
            {"exportLine", numberOrNull(placed, finding.exportLine)},
            {"exportColumn", numberOrNull(placed, finding.exportColumn)},
            {"detail", JsonStream::wholeCharacters(finding.detail)}};
}

QJsonObject summaryObject(const AuditSummary& summary)
{
    QJsonObject checks;
    for (auto check = summary.checks.cbegin(); check != summary.checks.cend(); ++check)
        checks.insert(check.key(), QJsonObject{{"error", check.value()[0]},
                                               {"warning", check.value()[1]},
                                               {"note", check.value()[2]}});
    QJsonArray hosts;
    for (const AuditSummary::Host& host : summary.hosts)
        hosts.append(QJsonObject{{"host", host.host},
                                 {"class", urlClassName(host.urlClass)},
                                 {"urls", host.urls},
                                 {"loaded", host.loaded},
                                 {"insecure", host.insecure}});
    const auto counts = [](const QHash<QString, qint64>& names) {
        QJsonObject object;
        for (auto name = names.cbegin(); name != names.cend(); ++name)
            object.insert(name.key(), name.value());
        return object;
    };
    return {{"checks", checks},
            {"hosts", hosts},
            {"shortcodes", counts(summary.shortcodes)},
            {"blocks", counts(summary.blocks)}};
}

// Entries that arrive while another list of the export is open wait in a temporary file.
struct Spool
{
    std::unique_ptr<QTemporaryFile> file;
    qint64 count = 0;
};

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
        if (settings_.withLinks)
            openSpool(links_, QStringLiteral("link rows"));
        if (settings_.audit)
            openSpool(findings_, QStringLiteral("findings"));
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
        if (!links_.file)
            return;
        for (const FoundLink& link : links) {
            QJsonObject attributes;
            // A name met twice keeps the later value, as in the link table.
            for (const FoundLink::Attribute& attribute : link.attributes)
                attributes.insert(attribute.name, QString::fromUtf8(link.value(attribute)));
            spoolEntry(links_,
                       QJsonObject{{"title", title},
                                   {"postId", textOrNull(postId)},
                                   {"attributes", attributes}},
                       QStringLiteral("link rows"));
        }
    }

    void finding(const AuditFinding& finding) override
    {
        if (findings_.file)
            spoolEntry(findings_, findingObject(finding), QStringLiteral("findings"));
    }

    void auditSummary(const AuditSummary& summary) override
    {
        json_.key("summary").value(summaryObject(summary));
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
                            {"severity", exportFaultSeverity(fault)},
                            {"inItem", fault.inItem},
                            {"title", textOrNull(fault.inItem ? fault.itemTitle : QString())},
                            {"postId", textOrNull(fault.inItem ? fault.postId : QString())}});
        }
        json_.endArray();
        writeSpooled("links", links_, QStringLiteral("link rows"));
        writeSpooled("findings", findings_, QStringLiteral("findings"));
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
    void openSpool(Spool& spool, const QString& what)
    {
        spool = {std::make_unique<QTemporaryFile>(), 0};
        if (!spool.file->open())
            spoolFailed(spool, QStringLiteral("cannot make a spool file for the %1 in %2")
                                   .arg(what, qEnvironmentVariable("TMPDIR", QDir::tempPath())));
    }

    void spoolEntry(Spool& spool, const QJsonObject& object, const QString& what)
    {
        QByteArray entry =
            spool.count++ > 0 ? QByteArray(JsonStream::entrySeparator) : QByteArray();
        entry.append(JsonStream::compact(object));
        if (spool.file->write(entry) != entry.size())
            spoolFailed(spool, QStringLiteral("cannot spool the %1").arg(what));
    }

    void writeSpooled(const char* key, Spool& spool, const QString& what)
    {
        if (!spool.file)
            return;
        json_.key(key).beginArray();
        if (!spool.file->flush())
            spoolFailed(spool, QStringLiteral("cannot spool the %1").arg(what));
        else
            json_.rawElements(*spool.file);
        if (spool.file && (!spool.file->atEnd() || spool.file->error() != QFile::NoError))
            spoolFailed(spool, QStringLiteral("cannot read back the spooled %1").arg(what));
        json_.endArray();
        spool.file.reset();
    }

    // The entries listed would be fewer than counted: the run must fail, not pass them over.
    void spoolFailed(Spool& spool, const QString& what)
    {
        if (problem_.isEmpty())
            problem_ = what + QStringLiteral(": ") + spool.file->errorString();
        spool.file.reset();
    }

    FormatSettings settings_;
    JsonStream json_;
    FILE* out_;
    Spool links_;
    Spool findings_;
    QString problem_;
};

} // namespace

std::unique_ptr<FaultFormat> makeJsonFormat(const FormatSettings& settings, FILE* out)
{
    return std::make_unique<JsonFormat>(settings, out);
}
