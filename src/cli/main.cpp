#include "analysis/libxmlinit.h"
#include "analysis/nativepath.h"
#include "analysis/wrappername.h"
#include "report.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {
const QString emptyTagMessage =
    QStringLiteral("Dummy tags encapsulate the raw HTML to allow XML parsing, \nit can not be "
                   "empty and must be unique.");

// The arguments as given: file names are bytes, which QCoreApplication::arguments() would decode
// with loss where they are not UTF-8 (see nativepath.h).
QStringList argumentsAsGiven(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(fromNativePath(argv[i]));
    return arguments;
}

// Why the options cannot be used as given, or the empty text.
QString optionProblem(const QCommandLineParser& parser, const QCommandLineOption& tagOption,
                      const QList<QCommandLineOption>& fileOptions)
{
    for (const QCommandLineOption& option : fileOptions) {
        if (parser.isSet(option) && parser.value(option).isEmpty())
            return QStringLiteral("postlint-report: --%1 needs a file name (- for standard "
                                  "output)")
                .arg(option.names().constFirst());
    }
    const QString tag = parser.value(tagOption);
    if (tag.isEmpty())
        return emptyTagMessage;
    if (const QString problem = wrapperNameProblem(tag); !problem.isEmpty())
        return QStringLiteral("postlint-report: --tag must be an XML element name without a "
                              "colon: %1")
            .arg(problem);
    return {};
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
        "Checks that every post of a WordPress export parses as XML and lists its top-level links "
        "and images.\n\nExit status: 0 every post well-formed, 1 some post is not, 2 usage error "
        "or no items, 3 an output file could not be written."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption tagOption(
        QStringLiteral("tag"), QStringLiteral("Name of the element that wraps every post body."),
        QStringLiteral("NAME"), QStringLiteral("dummy"));
    const QCommandLineOption errorsOption(
        QStringLiteral("errors"),
        QStringLiteral("Write the error table to FILE (- for standard output)."),
        QStringLiteral("FILE"));
    const QCommandLineOption linksOption(
        QStringLiteral("links"),
        QStringLiteral("Write the link table to FILE (- for standard output)."),
        QStringLiteral("FILE"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Print only the summary line."));
    const QCommandLineOption encodingOption(
        QStringLiteral("encoding"),
        QStringLiteral("Encoding of the table files: latin1 (the default; cells cut at their first "
                       "character beyond it) or utf-8 (with a byte-order mark; nothing cut)."),
        QStringLiteral("ENCODING"), QStringLiteral("latin1"));
    parser.addOptions({tagOption, errorsOption, linksOption, quietOption, encodingOption});
    parser.addPositionalArgument(QStringLiteral("EXPORT.xml"),
                                 QStringLiteral("The WordPress export to check."));

    if (!parser.parse(argumentsAsGiven(argc, argv))) {
        std::fprintf(stderr, "postlint-report: %s\n", qPrintable(parser.errorText()));
        return UsageOrNoItems;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(AllWellFormed);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        std::fprintf(stderr, "postlint-report: expected one export file\n%s",
                     qPrintable(parser.helpText()));
        return UsageOrNoItems;
    }

    ReportOptions options;
    options.exportPath = positional.first();
    options.dummyTag = parser.value(tagOption);
    options.errorsPath = parser.value(errorsOption);
    options.linksPath = parser.value(linksOption);
    options.quiet = parser.isSet(quietOption);
    const QString encoding = parser.value(encodingOption).toLower();
    if (encoding == QLatin1String("utf-8") || encoding == QLatin1String("utf8")) {
        options.encoding = TextEncoding::Utf8;
    } else if (encoding != QLatin1String("latin1")) {
        std::fprintf(stderr, "postlint-report: unknown encoding %s (latin1 or utf-8)\n",
                     qPrintable(parser.value(encodingOption)));
        return UsageOrNoItems;
    }
    options.showProgress = ::isatty(STDERR_FILENO) != 0;
    if (const QString problem = optionProblem(parser, tagOption, {errorsOption, linksOption});
        !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", toNativePath(problem).constData());
        return UsageOrNoItems;
    }
    // The tables outlive main on purpose: the process ends right after the report, and freeing
    // hundreds of thousands of rows one by one would add a tenth to the run on a large export.
    static ResultTables tables;
    const int status = runReport(options, tables, stdout, stderr);
    std::fflush(nullptr);
    std::_Exit(status);
}
