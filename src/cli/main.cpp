#include "analysis/libxmlinit.h"
#include "analysis/nativepath.h"
#include "analysis/wrappername.h"
#include "report.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    for (const auto& [name, path] :
         {std::pair{"--errors", report.errorsPath}, std::pair{"--links", report.linksPath}}) {
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
                       options.links, options.encoding, options.quiet});
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
