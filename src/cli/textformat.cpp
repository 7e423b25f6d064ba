#include "faultformat.h"
#include "jsonformat.h"
#include "sarifformat.h"

#include "analysis/faultdescription.h"
#include "analysis/nativepath.h"

#include <algorithm>
#include <vector>

namespace {

void print(FILE* stream, const QString& text)
{
    // An export's name comes out as the bytes it was given as, as in the report's own messages.
    const QByteArray bytes = toNativePath(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// `EXPORT:LINE:COLUMN`, both numbers 0 where the place is not known: every fault line keeps the
// shape that editors and the problem matchers of CI systems look for.
QString placeLine(const QString& exportPath, qint64 line, qint64 column)
{
    return QStringLiteral("%1:%2:%3").arg(oneLine(exportPath)).arg(line).arg(column);
}

// The lines editors and CI annotate: "EXPORT:LINE:COLUMN: error: REASON [TITLE]".
class TextFormat : public FaultFormat
{
public:
    TextFormat(const FormatSettings& settings, FILE* out) : settings_(settings), out_(out) {}

    void beginExport(const QString& path) override { path_ = path; }
    // The summary lines name no place: finding places would read the export a second time for
    // nothing.
    bool wantsPlaces() const override { return !settings_.quiet; }

    void postFault(const PostFault& fault) override
    {
        if (settings_.quiet)
            return;
        const bool known = fault.inExport.isKnown();
        print(out_, QStringLiteral("%1: error: %2 [%3]\n")
                        .arg(placeLine(path_, known ? fault.inExport.line : 0,
                                       known ? fault.inExport.column : 0),
                             oneLine(fault.reason), oneLine(fault.title)));
    }

    void finding(const AuditFinding& finding) override
    {
        if (settings_.quiet)
            return;
        const bool known = finding.exportLine > 0;
        print(out_, QStringLiteral("%1: %2: %3 [%4] [%5]\n")
                        .arg(placeLine(path_, known ? finding.exportLine : 0,
                                       known ? finding.exportColumn : 0),
                             severityName(finding.severity), oneLine(findingMessage(finding)),
                             oneLine(finding.check), oneLine(finding.title)));
    }

    void exportFaults(const QList<ExportFault>& faults) override
    {
        if (settings_.quiet)
            return;
        for (const ExportFault& fault : faults)
            print(out_, exportFaultLine(path_, fault));
    }

    void endExport(const ExportSummary& summary) override
    {
        const QString prefix =
            settings_.severalExports ? oneLine(path_) + QStringLiteral(": ") : QString();
        print(out_, prefix +
                        QStringLiteral("%1 items, %2 not well-formed, %3 link rows")
                            .arg(summary.items)
                            .arg(summary.notWellFormed)
                            .arg(summary.linkRows) +
                        (summary.exportFaults > 0
                             ? QStringLiteral(", %1 export faults").arg(summary.exportFaults)
                             : QString()) +
                        (summary.audited ? QStringLiteral(", %1 findings").arg(summary.findings)
                                         : QString()) +
                        QLatin1Char('\n'));
        std::fflush(out_);
    }

    void endRun(int) override {}

private:
    FormatSettings settings_;
    FILE* out_;
    QString path_;
};

} // namespace

QString oneLine(QString text)
{
    // The embeddings, overrides and isolates the text opens, innermost last: one left open would
    // reorder what a terminal shows of the rest of the line (the check, the title, the next
    // field), so each is closed where the text ends. Those the text closes itself stay as they
    // are, as right-to-left titles use them.
    std::vector<char16_t> open;
    for (QChar& character : text) {
        const char16_t code = character.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029)
            character = QLatin1Char(' ');
        else if ((code >= 0x202A && code <= 0x202E && code != 0x202C) ||
                 (code >= 0x2066 && code <= 0x2068))
            open.push_back(code >= 0x2066 ? u'\x2069' : u'\x202C');
        else if (code == 0x202C && !open.empty() && open.back() == 0x202C)
            open.pop_back();
        else if (code == 0x2069 && std::find(open.begin(), open.end(), 0x2069) != open.end())
            open.erase(std::find(open.rbegin(), open.rend(), 0x2069).base() - 1, open.end());
    }
    for (auto closer = open.rbegin(); closer != open.rend(); ++closer)
        text.append(QChar(*closer));
    return text;
}

QString exportFaultLine(const QString& exportPath, const ExportFault& fault)
{
    const bool known = fault.line > 0;
    return QStringLiteral("%1: %2: %3\n")
        .arg(placeLine(exportPath, known ? fault.line : 0, known ? fault.column : 0),
             exportFaultSeverity(fault), oneLine(describeExportFault(fault)));
}

QString exportFaultSeverity(const ExportFault& fault)
{
    return fault.postsLost ? QStringLiteral("error") : QStringLiteral("warning");
}

std::unique_ptr<FaultFormat> makeFaultFormat(const FormatSettings& settings, FILE* out)
{
    switch (settings.kind) {
    case FormatKind::Json:
        return makeJsonFormat(settings, out);
    case FormatKind::Sarif:
        return makeSarifFormat(settings, out);
    case FormatKind::Text:
        break;
    }
    return std::make_unique<TextFormat>(settings, out);
}
