#include "sarifformat.h"

#include "jsonstream.h"

#include <QDir>
#include <QUrl>

#include <map>

namespace {

const QString exportFaultRule = QStringLiteral("export-fault");

// SARIF 2.1.0: one run, one result per fault at its place in the export. Rules are named by
// libxml2's error code; they are listed after the results, once every code met is known.
class SarifFormat : public FaultFormat
{
public:
    SarifFormat(const FormatSettings& settings, FILE* out)
        : settings_(settings), json_([out](const QByteArray& bytes) {
              std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
          }),
          out_(out)
    {
        json_.beginObject();
        json_.key("$schema").value(
            "https://docs.oasis-open.org/sarif/sarif/v2.1.0/os/schemas/sarif-schema-2.1.0.json");
        json_.key("version").value("2.1.0");
        json_.key("runs").beginArray().beginObject();
        // Columns count characters, as in the text format, not SARIF's default UTF-16 units.
        json_.key("columnKind").value("unicodeCodePoints");
        json_.key("results").beginArray();
    }

    void beginExport(const QString& path) override { uri_ = sarifUri(path); }

    void postFault(const PostFault& fault) override
    {
        const QString rule = QStringLiteral("libxml2-") + QString::number(fault.errorCode);
        if (fault.errorCode != lastCode_) {
            rules_.try_emplace(rule, QStringLiteral("libxml2 error %1").arg(fault.errorCode));
            lastCode_ = fault.errorCode;
        }
        json_.beginObject();
        json_.key("ruleId").value(rule);
        json_.key("level").value("error");
        json_.key("message").beginObject();
        json_.key("text").value(fault.reason + QStringLiteral(" [") + fault.title +
                                QLatin1Char(']'));
        json_.endObject();
        location(fault.inExport.isKnown(), fault.inExport.line, fault.inExport.column);
        json_.key("properties").beginObject();
        json_.key("title").value(fault.title);
        json_.key("postId").value(fault.postId);
        json_.key("bodyLine").value(fault.line);
        json_.key("bodyPos").value(fault.pos);
        json_.key("narrowed").value(fault.narrowed);
        json_.endObject();
        json_.endObject();
    }

    void exportFaults(const QList<ExportFault>& faults) override
    {
        for (const ExportFault& fault : faults) {
            rules_.emplace(exportFaultRule, QStringLiteral("Fault in the export file"));
            json_.beginObject();
            json_.key("ruleId").value(exportFaultRule);
            json_.key("level").value("error");
            json_.key("message").beginObject().key("text").value(fault.reason).endObject();
            location(fault.line > 0, fault.line, fault.column);
            json_.endObject();
        }
    }

    void endExport(const ExportSummary& summary) override
    {
        if (!summary.usable || summary.items == 0)
            unusable_.emplace_back(uri_, summary.problem);
    }

    void endRun(int exitStatus) override
    {
        json_.endArray();
        json_.key("tool").beginObject().key("driver").beginObject();
        json_.key("name").value("postlint-report");
        json_.key("version").value(settings_.version);
        json_.key("rules").beginArray();
        for (const auto& [id, description] : rules_) {
            json_.beginObject();
            json_.key("id").value(id);
            json_.key("shortDescription").beginObject().key("text").value(description).endObject();
            json_.endObject();
        }
        json_.endArray().endObject().endObject();
        json_.key("invocations").beginArray().beginObject();
        json_.key("executionSuccessful").value(exitStatus == 0 || exitStatus == 1);
        json_.key("exitCode").value(exitStatus);
        json_.key("toolExecutionNotifications").beginArray();
        for (const auto& [uri, problem] : unusable_) {
            json_.beginObject().key("level").value("error");
            json_.key("message").beginObject().key("text").value(
                QStringLiteral("Could not find any WordPress items in the export. %1")
                    .arg(problem)
                    .trimmed());
            json_.endObject();
            json_.key("locations").beginArray().beginObject();
            json_.key("physicalLocation").beginObject().key("artifactLocation").beginObject();
            json_.key("uri").value(uri).endObject().endObject();
            json_.endObject().endArray();
            json_.endObject();
        }
        json_.endArray().endObject().endArray();
        json_.endObject().endArray().endObject();
        json_.flush();
        std::fflush(out_);
    }

private:
    void location(bool known, qint64 line, qint64 column)
    {
        json_.key("locations").beginArray().beginObject();
        json_.key("physicalLocation").beginObject();
        json_.key("artifactLocation").beginObject().key("uri").value(uri_).endObject();
        if (known) {
            json_.key("region").beginObject();
            json_.key("startLine").value(line);
            json_.key("startColumn").value(std::max<qint64>(column, 1));
            json_.endObject();
        }
        json_.endObject().endObject().endArray();
    }

    FormatSettings settings_;
    JsonStream json_;
    FILE* out_;
    QString uri_;
    std::map<QString, QString> rules_;
    int lastCode_ = 0;
    std::vector<std::pair<QString, QString>> unusable_;
};

} // namespace

QString sarifUri(const QString& path)
{
    if (QDir::isAbsolutePath(path))
        return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
    return QString::fromLatin1(QDir::fromNativeSeparators(path).toUtf8().toPercentEncoding("/"));
}

std::unique_ptr<FaultFormat> makeSarifFormat(const FormatSettings& settings, FILE* out)
{
    return std::make_unique<SarifFormat>(settings, out);
}
