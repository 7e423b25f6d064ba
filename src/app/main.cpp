#include "analysis/libxmlinit.h"
#include "window/form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Checks that every post of a WordPress export parses as XML and lists its "
                       "top-level links and images."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("EXPORT.xml"),
                                 QStringLiteral("A WordPress export to check at start."),
                                 QStringLiteral("[EXPORT.xml]"));
}

// --help and --version answer on the terminal, also where no display is to be had.
bool asksTheTerminal(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("postlint"));
    QCoreApplication::setApplicationVersion(QStringLiteral(POSTLINT_VERSION));
    if (asksTheTerminal(argc, argv)) {
        QCoreApplication terminal(argc, argv);
        QCommandLineParser parser;
        describe(parser);
        parser.process(terminal); // prints the answer and ends the program
        return 0;
    }

    QApplication application(argc, argv);
    // Lets the desktop match the window to its menu entry and icon (Wayland's application id).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.postlint.Postlint"));
    QCommandLineParser parser;
    describe(parser);
    parser.process(application);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "postlint: give at most one export file\n");
        return 2;
    }
    libxml::initialize();

    Form1 window;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    if (!files.isEmpty()) {
        // Once the window is up, so that a long check shows its progress over it.
        const QString path = QFileInfo(files.front()).absoluteFilePath();
        QTimer::singleShot(0, &window, [&window, path] { window.checkExport(path); });
    }
    return application.exec();
}
