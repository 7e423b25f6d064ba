#pragma once

// Runs one hostile case of the engine in a child process: the test executable starts itself
// again with "--hostile-child", under a limit on its address space, so that a case that runs
// away with memory or time fails the test instead of taking the machine down, and its peak
// memory can be measured on its own.

#include "childprocess.h"

#include "analysis/analysisrun.h"
#include "analysis/libxmlinit.h"
#include "analysis/postcheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace hostile {

using childprocess::secondsAllowed;
using childprocess::underSanitizer;

constexpr long memoryLimitMb = 1024;

struct ChildResult
{
    bool exited = false;
    int exitCode = -1;
    bool timedOut = false;
    double seconds = 0;
    long peakKb = 0; // as the child measured it, or its rusage when it could not
    QStringList lines;
    QByteArray errors;
};

// One error row as the child prints it, with line breaks and TABs flattened.
struct Row
{
    QString title;
    int code = 0;
    QString reason;
    int line = 0;
    int pos = 0;
    QString narrowed;
};

inline QString flat(QString text)
{
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

inline void printRows(const ResultTables& tables)
{
    const int shown = std::min(tables.errorRowCount, 10);
    for (int row = 1; row <= shown; ++row) {
        const ResultTable& table = tables.errorTable;
        const QString line =
            QStringLiteral("row\t%1\t%2\t%3\t%4\t%5\t%6\n")
                .arg(flat(table.cell(ErrorTitleColumn, row)), table.cell(ErrorCodeColumn, row),
                     flat(table.cell(ErrorReasonColumn, row)), table.cell(ErrorLineColumn, row),
                     table.cell(ErrorPosColumn, row), flat(table.cell(ErrorNarrowedColumn, row)));
        std::fputs(line.toUtf8().constData(), stdout);
    }
}

// The high-water mark of this process's resident memory since it started its program. The
// child's rusage would also count the pages it shared with the parent between fork and exec.
inline long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// The child: "export PATH" runs a whole analysis; "body FILE TAG" checks one body.
inline int childMain(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    libxml::initialize();
    const QStringList args = application.arguments();
    if (args.size() >= 4 && args.at(2) == QLatin1String("export")) {
        ResultTables tables;
        const AnalysisOutcome outcome = runAnalysis(args.at(3), tables, AnalysisOptions());
        std::printf("found\t%d\titems\t%lld\tlinks\t%d\n", outcome.foundItems ? 1 : 0,
                    static_cast<long long>(outcome.itemCount), tables.linkRowCount);
        std::printf("problem\t%s\n", flat(outcome.problem.reason).toUtf8().constData());
        printRows(tables);
        std::printf("peak\t%ld\n", peakResidentKb());
        return 0;
    }
    if (args.size() >= 5 && args.at(2) == QLatin1String("body")) {
        QFile file(args.at(3));
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray body = file.readAll();
        ResultTables tables;
        tables.reset();
        recordPost(tables, QStringLiteral("post"), CellText::fromUtf8(body),
                   checkPostBody(body, args.at(4)));
        std::printf("found\t1\titems\t%d\tlinks\t%d\n", tables.errorRowCount, tables.linkRowCount);
        printRows(tables);
        std::printf("peak\t%ld\n", peakResidentKb());
        return 0;
    }
    return 2;
}

// Runs this executable as a child with the arguments after "--hostile-child". With
// dropPrivileges the child gives up root for the unprivileged user before it starts, so that
// permission bits bind it.
inline ChildResult runChild(const QStringList& arguments, int timeoutSeconds,
                            bool dropPrivileges = false)
{
    ChildResult result;
    QTemporaryFile output;
    QTemporaryFile errors;
    if (!output.open() || !errors.open())
        return result;

    QList<QByteArray> storage;
    storage << QFile::encodeName(QCoreApplication::applicationFilePath())
            << QByteArray("--hostile-child");
    for (const QString& argument : arguments)
        storage << argument.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray sanitizerOptions = QByteArray("ASAN_OPTIONS=hard_rss_limit_mb=") +
                                        QByteArray::number(qlonglong(2 * memoryLimitMb));

    // Opened while still privileged: a checkout inside a folder that the unprivileged user cannot
    // enter (a private temporary folder, /root) would otherwise refuse to start the child.
    const int executable = ::open(argv[0], O_RDONLY | O_CLOEXEC);
    if (executable < 0)
        return result;

    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output.handle(), STDOUT_FILENO);
        ::dup2(errors.handle(), STDERR_FILENO);
        if (underSanitizer)
            ::putenv(const_cast<char*>(sanitizerOptions.constData()));
        else
            childprocess::limitAddressSpace(memoryLimitMb);
        if (dropPrivileges && !childprocess::dropPrivileges())
            ::_exit(126);
        ::fexecve(executable, argv.data(), environ);
        ::_exit(127);
    }
    ::close(executable);
    if (pid < 0)
        return result;

    int status = 0;
    rusage usage{};
    const qint64 deadline = qint64(timeoutSeconds) * 1000;
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (timer.elapsed() > deadline && !result.timedOut) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        ::usleep(5000);
    }
    result.seconds = double(timer.elapsed()) / 1000.0;
    result.peakKb = usage.ru_maxrss;
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;

    output.seek(0);
    result.lines = QString::fromUtf8(output.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    errors.seek(0);
    result.errors = errors.readAll();
    for (const QString& line : std::as_const(result.lines)) {
        if (line.startsWith(QLatin1String("peak\t")))
            result.peakKb = line.mid(5).toLong();
    }
    return result;
}

inline QStringList fieldsOf(const ChildResult& result, const QString& key)
{
    for (const QString& line : result.lines) {
        QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.first() == key)
            return fields;
    }
    return {};
}

inline QList<Row> rowsOf(const ChildResult& result)
{
    QList<Row> rows;
    for (const QString& line : result.lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.first() != QLatin1String("row") || fields.size() < 7)
            continue;
        rows.append({fields.at(1), fields.at(2).toInt(), fields.at(3), fields.at(4).toInt(),
                     fields.at(5).toInt(), fields.at(6)});
    }
    return rows;
}

// One line of the table that the hostile tests print: case, outcome, time and peak memory.
inline void report(const char* testCase, const QString& outcome, const ChildResult& result)
{
    qInfo("HOSTILE | %-40s | %-60s | %6.2f s | %7.1f MB", testCase, qPrintable(outcome.left(60)),
          result.seconds, double(result.peakKb) / 1024.0);
}

} // namespace hostile

#define HOSTILE_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        if (argc > 1 && std::strcmp(argv[1], "--hostile-child") == 0)                              \
            return hostile::childMain(argc, argv);                                                 \
        QCoreApplication application(argc, argv);                                                  \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
