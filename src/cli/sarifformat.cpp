#include "sarifformat.h"

#include "analysis/nativepath.h"

#include "faulthelp.h"
#include "jsonstream.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include <map>

namespace {

const QString exportFaultRule = QStringLiteral("export-fault");

// SARIF 2.1.0: one run, one result per fault at its place in the export. Rules are named by
// libxml2's error code, each with what usually causes it; they are listed after the results,
// once every code met is known.
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
            if (!rules_.contains(rule))
                rules_.emplace(rule, helpedRule(rule, postFaultHelp(fault.errorCode, fault.reason),
                                                QStringLiteral("error")));
            lastCode_ = fault.errorCode;
        }
        json_.value(
            QJsonObject{{"ruleId", rule},
                        {"level", "error"},
                        {"message", QJsonObject{{"text", fault.reason + QStringLiteral(" [") +
                                                             fault.title + QLatin1Char(']')}}},
                        {"locations", locations(fault.inExport.isKnown(), fault.inExport.line,
                                                fault.inExport.column)},
                        {"properties",
                         QJsonObject{{"title", fault.title},
                                     {"postId", fault.postId},
                                     {"bodyLine", fault.line},
                                     {"bodyPos", fault.pos},
                                     {"narrowed", JsonStream::wholeCharacters(fault.narrowed)}}}});
    }

    void exportFaults(const QList<ExportFault>& faults) override
    {
        for (const ExportFault& fault : faults) {
            if (!rules_.contains(exportFaultRule))
                rules_.emplace(exportFaultRule, helpedRule(exportFaultRule, exportFaultHelp()));
            json_.value(
                QJsonObject{{"ruleId", exportFaultRule},
                            {"level", exportFaultSeverity(fault)},
                            {"message", QJsonObject{{"text", fault.reason}}},
                            {"locations", locations(fault.line > 0, fault.line, fault.column)}});
        }
    }

    void finding(const AuditFinding& finding) override
    {
        if (!rules_.contains(finding.check))
            rules_.emplace(finding.check, auditRule(finding.check));
        QJsonObject properties{{"title", finding.title},
                               {"postId", finding.postId},
                               {"subject", JsonStream::wholeCharacters(finding.subject)}};
        if (!finding.element.isEmpty())
            properties.insert("element", finding.element);
        if (!finding.attribute.isEmpty())
            properties.insert("attribute", finding.attribute);
        json_.value(QJsonObject{
            {"ruleId", finding.check},
            {"level", severityName(finding.severity)},
            {"message", QJsonObject{{"text", JsonStream::wholeCharacters(
                                                 findingMessage(finding) + QStringLiteral(" [") +
                                                 finding.title + QLatin1Char(']'))}}},
            {"locations",
             locations(finding.exportLine > 0, finding.exportLine, finding.exportColumn)},
            {"properties", properties}});
    }

    void endExport(const ExportSummary& summary) override
    {
        if (!summary.usable || summary.items == 0)
            unusable_.emplace_back(uri_, summary.problem);
    }

    void endRun(int exitStatus) override
    {
        json_.endArray();
        QJsonArray rules;
        for (const auto& [id, rule] : rules_)
            rules.append(rule);
        json_.key("tool").beginObject().key("driver").value(QJsonObject{
            {"name", "postlint-report"}, {"version", settings_.version}, {"rules", rules}});
        json_.endObject();
        json_.key("invocations").beginArray();
        QJsonArray notifications;
        for (const auto& [uri, problem] : unusable_) {
            const QString text =
                QStringLiteral("Could not find any WordPress items in the export. %1")
                    .arg(problem)
                    .trimmed();
            notifications.append(QJsonObject{
                {"level", "error"},
                {"message", QJsonObject{{"text", text}}},
                {"locations",
                 QJsonArray{QJsonObject{
                     {"physicalLocation",
                      QJsonObject{{"artifactLocation", QJsonObject{{"uri", uri}}}}}}}}});
        }
        json_.value(QJsonObject{{"executionSuccessful", exitStatus == 0 || exitStatus == 1},
                                {"exitCode", exitStatus},
                                {"toolExecutionNotifications", notifications}});
        json_.endArray();
        json_.endObject().endArray().endObject();
        json_.flush();
        std::fflush(out_);
    }

private:
    static QJsonObject ruleObject(const QString& id, const QString& description)
    {
        return {{"id", id}, {"shortDescription", QJsonObject{{"text", description}}}};
    }

    // level: that of the rule's results, when they all have one.
    static QJsonObject helpedRule(const QString& id, const FaultHelp& help,
                                  const QString& level = {})
    {
        QJsonObject rule = ruleObject(id, help.description);
        rule.insert("help", QJsonObject{{"text", help.help}});
        if (!level.isEmpty())
            rule.insert("defaultConfiguration", QJsonObject{{"level", level}});
        return rule;
    }

    // A check of the audit: its help text, and the level its findings usually have.
    static QJsonObject auditRule(const QString& id)
    {
        for (const AuditCheck& check : auditChecks()) {
            if (id != QLatin1String(check.id))
                continue;
            QJsonObject rule = ruleObject(id, QString::fromUtf8(check.help));
            rule.insert("help", QJsonObject{{"text", QString::fromUtf8(check.help)}});
            rule.insert("defaultConfiguration",
                        QJsonObject{{"level", severityName(check.severity)}});
            return rule;
        }
        return ruleObject(id, id);
    }

    QJsonArray locations(bool known, qint64 line, qint64 column) const
    {
        QJsonObject place{{"artifactLocation", QJsonObject{{"uri", uri_}}}};
        if (known)
            place.insert("region", QJsonObject{{"startLine", line},
                                               {"startColumn", std::max<qint64>(column, 1)}});
        return QJsonArray{QJsonObject{{"physicalLocation", place}}};
    }

    FormatSettings settings_;
    JsonStream json_;
    FILE* out_;
    QString uri_;
    std::map<QString, QJsonObject> rules_;
    int lastCode_ = 0;
    std::vector<std::pair<QString, QString>> unusable_;
};

} // namespace

QString sarifUri(const QString& path)
{
    // A name that is not UTF-8 is named by its own bytes, each percent-encoded.
    const QByteArray bytes = toNativePath(path);
    if (bytes != path.toUtf8())
        return QString::fromLatin1((QDir::isAbsolutePath(path) ? "file://" : "") +
                                   bytes.toPercentEncoding("/"));
    if (QDir::isAbsolutePath(path))
        return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
    return QString::fromLatin1(QDir::fromNativeSeparators(path).toUtf8().toPercentEncoding("/"));
}

std::unique_ptr<FaultFormat> makeSarifFormat(const FormatSettings& settings, FILE* out)
{
    return std::make_unique<SarifFormat>(settings, out);
}
