#include "analysis/libxmlinit.h"
#include "analysis/nativepath.h"
#include "analysis/wrappername.h"
#include "report.h"

#include "audit/auditfinding.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <unistd.h>

namespace {

const QString emptyTagMessage =
    QStringLiteral("Dummy tags encapsulate the raw HTML to allow XML parsing, \nit can not be "
                   "empty and must be unique.");

struct Options
{
    QCommandLineOption tag{
        QStringLiteral("tag"),
        QStringLiteral("Wrap every post body in <NAME>…</NAME> (default dummy)."),
        QStringLiteral("NAME"), QStringLiteral("dummy")};
    QCommandLineOption format{QStringLiteral("format"),
                              QStringLiteral("Report as text (the default: EXPORT:LINE:COLUMN: "
                                             "lines), json or sarif."),
                              QStringLiteral("FORMAT"), QStringLiteral("text")};
    QCommandLineOption withLinks{QStringLiteral("with-links"),
                                 QStringLiteral("In the JSON report, list every link row too.")};
    QCommandLineOption errors{
        QStringLiteral("errors"),
        QStringLiteral("Write the error table to FILE (- for standard output); one export only."),
        QStringLiteral("FILE")};
    QCommandLineOption links{
        QStringLiteral("links"),
        QStringLiteral("Write the link table to FILE (- for standard output); one export only."),
        QStringLiteral("FILE")};
    QCommandLineOption encoding{
        QStringLiteral("encoding"),
        QStringLiteral("Encoding of the table files: latin1 (the default; cells cut at their first "
                       "character beyond it) or utf-8 (with a byte-order mark; nothing cut)."),
        QStringLiteral("ENCODING"), QStringLiteral("latin1")};
    QCommandLineOption quiet{QStringLiteral("quiet"),
                             QStringLiteral("Text report: print only the summary line.")};
    QCommandLineOption audit{
        QStringLiteral("audit"),
        QStringLiteral("Audit every link and image for what breaks when the blog moves; a "
                       "finding of severity error makes the exit status at least 1.")};
    QCommandLineOption siteUrl{
        QStringLiteral("site-url"),
        QStringLiteral("Audit: the site's address, where the export's own is wrong."),
        QStringLiteral("URL")};
    QCommandLineOption siteHost{QStringLiteral("site-host"),
                                QStringLiteral("Audit: a further host of this site (repeatable)."),
                                QStringLiteral("HOST")};
    QCommandLineOption checks{QStringLiteral("checks"),
                              QStringLiteral("Audit: make only these checks (comma-separated)."),
                              QStringLiteral("LIST")};
    QCommandLineOption skipChecks{
        QStringLiteral("skip-checks"),
        QStringLiteral("Audit: leave out these checks (comma-separated)."), QStringLiteral("LIST")};
    QCommandLineOption urls{
        QStringLiteral("urls"),
        QStringLiteral("Audit: write every URL found to FILE, tab-delimited UTF-8 (- for standard "
                       "output); one export only."),
        QStringLiteral("FILE")};
};

// The arguments as given: file names are bytes, which QCoreApplication::arguments() would decode
// with loss where they are not UTF-8 (see nativepath.h).
QStringList argumentsAsGiven(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(fromNativePath(argv[i]));
    return arguments;
}

int usageError(const QString& message)
{
    std::fprintf(stderr,
                 "postlint-report: %s\nTry 'postlint-report --help' for more information.\n",
                 toNativePath(message).constData());
    return UsageOrNoItems;
}

std::optional<FormatKind> formatNamed(const QString& name)
{
    if (name == QLatin1String("text"))
        return FormatKind::Text;
    if (name == QLatin1String("json"))
        return FormatKind::Json;
    if (name == QLatin1String("sarif"))
        return FormatKind::Sarif;
    return std::nullopt;
}

// The checks a comma-separated list names; the first unknown name in unknown.
QStringList checksNamed(const QString& list, QString& unknown)
{
    QStringList names;
    for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        if (!isAuditCheck(name) && unknown.isEmpty())
            unknown = name;
        names.append(name);
    }
    return names;
}

QString knownChecks()
{
    QStringList names;
    for (const AuditCheck& check : auditChecks())
        names.append(QString::fromLatin1(check.id));
    return names.join(QStringLiteral(", "));
}

// Reads the audit's options; returns the exit status of a usage error, or nothing. Any of them
// asks for the audit.
std::optional<int> readAuditOptions(const QCommandLineParser& parser, const Options& options,
                                    ReportOptions& report)
{
    AuditSettings& audit = report.audit;
    audit.siteUrl = parser.value(options.siteUrl);
    audit.siteHosts = parser.values(options.siteHost);
    audit.urlsPath = parser.value(options.urls);
    QString unknown;
    const QStringList skipped = checksNamed(parser.value(options.skipChecks), unknown);
    const QStringList chosen = checksNamed(parser.value(options.checks), unknown);
    if (!unknown.isEmpty())
        return usageError(
            QStringLiteral("unknown check '%1' (the checks: %2)").arg(unknown, knownChecks()));
    audit.skippedChecks = skipped;
    if (parser.isSet(options.checks)) {
        for (const AuditCheck& check : auditChecks()) {
            if (!chosen.contains(QLatin1String(check.id)))
                audit.skippedChecks.append(QString::fromLatin1(check.id));
        }
    }
    const QUrl site(audit.siteUrl, QUrl::StrictMode);
    if (parser.isSet(options.siteUrl) &&
        (site.host().isEmpty() ||
         (site.scheme() != QLatin1String("http") && site.scheme() != QLatin1String("https"))))
        return usageError(QStringLiteral("--site-url needs an http or https address, not '%1'")
                              .arg(audit.siteUrl));
    for (const QCommandLineOption* option : {&options.audit, &options.siteUrl, &options.siteHost,
                                             &options.checks, &options.skipChecks, &options.urls})
        audit.enabled = audit.enabled || parser.isSet(*option);
    report.format.audit = audit.enabled;
    return std::nullopt;
}

// Reads the options into report; returns the exit status of a usage error, or nothing.
std::optional<int> readOptions(const QCommandLineParser& parser, const Options& options,
                               ReportOptions& report)
{
    report.exportPaths = parser.positionalArguments();
    report.dummyTag = parser.value(options.tag);
    report.errorsPath = parser.value(options.errors);
    report.linksPath = parser.value(options.links);
    report.format.quiet = parser.isSet(options.quiet);
    report.format.withLinks = parser.isSet(options.withLinks);
    report.format.severalExports = report.exportPaths.size() > 1;
    report.format.version = QCoreApplication::applicationVersion();
    const std::optional<FormatKind> kind = formatNamed(parser.value(options.format));
    if (!kind)
        return usageError(QStringLiteral("--format: unknown format '%1' (use text, json or sarif)")
                              .arg(parser.value(options.format)));
    report.format.kind = *kind;
    const QString encoding = parser.value(options.encoding).toLower();
    if (encoding == QLatin1String("utf-8") || encoding == QLatin1String("utf8"))
        report.encoding = TextEncoding::Utf8;
    else if (encoding != QLatin1String("latin1"))
        return usageError(QStringLiteral("unknown encoding %1 (latin1 or utf-8)")
                              .arg(parser.value(options.encoding)));
    if (report.exportPaths.isEmpty())
        return usageError(QStringLiteral("no export file named"));
    if (const std::optional<int> usage = readAuditOptions(parser, options, report))
        return usage;
    for (const auto& [name, path] :
         {std::pair{"--errors", report.errorsPath}, std::pair{"--links", report.linksPath},
          std::pair{"--urls", report.audit.urlsPath}}) {
        if (parser.isSet(name + 2) && path.isEmpty())
            return usageError(
                QStringLiteral("%1 needs a file name (- for standard output)").arg(name));
        if (parser.isSet(name + 2) && report.exportPaths.size() > 1)
            return usageError(QStringLiteral("%1 can only be given with one export").arg(name));
        if (path == QLatin1String("-") && *kind != FormatKind::Text)
            return usageError(QStringLiteral("%1 -: standard output already carries the %2 report")
                                  .arg(name, parser.value(options.format)));
    }
    if (report.dummyTag.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(emptyTagMessage));
        return UsageOrNoItems;
    }
    if (const QString problem = wrapperNameProblem(report.dummyTag); !problem.isEmpty())
        return usageError(
            QStringLiteral("--tag must be an XML element name without a colon: %1").arg(problem));
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("postlint-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(POSTLINT_VERSION));
    libxml::initialize();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks that every post of each WordPress export parses as XML and lists its top-level "
        "links and images.\n\nExit status, the worst over all exports: 0 every post "
        "well-formed, 1 some post or the export itself has a fault, 2 usage error or no items, "
        "3 an output could not be written."));
    parser.addHelpOption();
    parser.addVersionOption();
    const Options options;
    parser.addOptions({options.tag, options.format, options.withLinks, options.errors,
                       options.links, options.encoding, options.quiet, options.audit,
                       options.siteUrl, options.siteHost, options.checks, options.skipChecks,
                       options.urls});
    parser.addPositionalArgument(QStringLiteral("EXPORT"),
                                 QStringLiteral("The WordPress exports to check."),
                                 QStringLiteral("EXPORT..."));

    if (!parser.parse(argumentsAsGiven(argc, argv)))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(AllWellFormed);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    ReportOptions report;
    if (const std::optional<int> usage = readOptions(parser, options, report))
        return *usage;
    report.showProgress = ::isatty(STDERR_FILENO) != 0;
    const int status = runReport(report, stdout, stderr);
    std::fflush(nullptr);
    // Every output is flushed and closed or put in place by now; what remains is memory, libxml2's
    // and Qt's state, which the system takes back at once, where the destructors of a large run
    // would walk it all first. So the process ends here, without them.
    std::_Exit(status);
}
