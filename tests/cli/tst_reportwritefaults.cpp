// postlint-report when a table cannot be written: exit status 3, a message naming the path and
// the cause, the user's file untouched and nothing left behind. Permission cases run the report
// as the unprivileged user, since root ignores permission bits.
#include "childprocess.h"
#include "faultpaths.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray original = "keep me\n";

enum class Setup
{
    ReadOnlyFolder,
    ReadOnlyFile,
    PathIsFolder,
    MissingFolder,
    FullDevice
};

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class ReportWriteFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unwritableOutput_data();
    void unwritableOutput();
    void outOfMemory_data();
    void outOfMemory();

private:
    QTemporaryDir dir_;
    const QString report_ = QStringLiteral(POSTLINT_BIN_DIR "/postlint-report");
    const QString sample_ = QStringLiteral(POSTLINT_BIN_DIR "/sample-export.xml");
};

void ReportWriteFaultsTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(QFileInfo::exists(report_));
    QVERIFY(QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) |
                                                   QFileDevice::ExeOther | QFileDevice::ReadOther));
}

void ReportWriteFaultsTest::unwritableOutput_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("table"); // the option that names the file
    const QString errors = QStringLiteral("--errors");
    const QString urls = QStringLiteral("--urls");
    QTest::newRow("folder without write permission")
        << Setup::ReadOnlyFolder << QStringLiteral("permission denied") << errors;
    QTest::newRow("file without write permission")
        << Setup::ReadOnlyFile << QStringLiteral("permission denied") << errors;
    QTest::newRow("path is a folder")
        << Setup::PathIsFolder << QStringLiteral("directory") << errors;
    QTest::newRow("folder does not exist")
        << Setup::MissingFolder << QStringLiteral("No such file or directory") << errors;
    QTest::newRow("full device") << Setup::FullDevice << QStringLiteral("No space left on device")
                                 << errors;
    // The inventory's rows wait in a spool until the end, and then fail as any table does.
    QTest::newRow("inventory in a folder without write permission")
        << Setup::ReadOnlyFolder << QStringLiteral("permission denied") << urls;
    QTest::newRow("inventory to a full device")
        << Setup::FullDevice << QStringLiteral("No space left on device") << urls;
}

void ReportWriteFaultsTest::unwritableOutput()
{
    QFETCH(Setup, setup);
    QFETCH(QString, cause);
    QFETCH(QString, table);

    const QString folder = dir_.filePath(
        QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    QVERIFY(QDir().mkpath(folder));
    QString path = QDir(folder).filePath(QStringLiteral("errors.txt"));
    QString program = report_;
    QStringList arguments;
    bool existing = false;

    switch (setup) {
    case Setup::ReadOnlyFile: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(original);
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadOther));
        existing = true;
        QVERIFY(QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::WriteOther |
                                                  QFileDevice::ExeOther | QFileDevice::ReadOther));
    }
        [[fallthrough]];
    case Setup::ReadOnlyFolder: {
        if (setup == Setup::ReadOnlyFolder)
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                      QFileDevice::ReadOther |
                                                      QFileDevice::ExeOther));
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (::geteuid() == 0) {
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv: permission bits cannot be made to bind");
            program = setpriv;
            arguments << QStringLiteral("--reuid=65534") << QStringLiteral("--regid=65534")
                      << QStringLiteral("--clear-groups") << report_;
        }
        break;
    }
    case Setup::PathIsFolder:
        path = QDir(folder).filePath(QStringLiteral("a-folder"));
        QVERIFY(QDir().mkpath(path));
        break;
    case Setup::MissingFolder:
        path = QDir(folder).filePath(QStringLiteral("missing/errors.txt"));
        break;
    case Setup::FullDevice:
        path = faultpaths::fullDevice(folder);
        if (path.isEmpty())
            QSKIP("no device node can be made here, and /dev/full is not put at risk as root");
        break;
    }
    arguments << QStringLiteral("--quiet") << table << path << sample_;

    const QStringList before = entriesOf(folder);
    QProcess process;
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 3);
    QVERIFY2(errors.contains(QStringLiteral("cannot write to %1").arg(path)), qPrintable(errors));
    QVERIFY2(errors.contains(cause, Qt::CaseInsensitive), qPrintable(errors));
    // The analysis itself still ran and said so.
    QVERIFY(
        QString::fromUtf8(process.readAllStandardOutput()).contains(QStringLiteral(" items, ")));
    QCOMPARE(entriesOf(folder), before);
    if (existing) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original);
    }
    if (setup == Setup::FullDevice) {
        struct stat node;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &node) == 0 && S_ISCHR(node.st_mode));
    }
}

void ReportWriteFaultsTest::outOfMemory_data()
{
    QTest::addColumn<QStringList>("outputs"); // files that exist before the run
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("both tables to files")
        << QStringList{"errors.txt", "links.txt"}
        << QStringList{"--errors", "errors.txt", "--links", "links.txt"};
    QTest::newRow("table to standard output")
        << QStringList() << QStringList{"--quiet", "--links", "-"};
}

// Far more links than the address space allows: the run ends as a failure, on
// whichever thread the memory ran out, and the user's files are as they were.
void ReportWriteFaultsTest::outOfMemory()
{
#ifdef POSTLINT_UNDER_ASAN
    QSKIP("the sanitizers reserve more address space than the limit allows");
#endif
    QFETCH(QStringList, outputs);
    QFETCH(QStringList, arguments);
    const QString folder = dir_.filePath(QStringLiteral("memory-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    // Rows are not kept, so it takes one post with more links than memory holds.
    const QString manyItems = dir_.filePath(QStringLiteral("many-links.xml"));
    if (!QFileInfo::exists(manyItems)) {
        QFile file(manyItems);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<rss xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel>"
                   "<item><title>t</title><content:encoded>");
        file.write(QByteArray("&lt;a href='x'/&gt;").repeated(2500000));
        file.write("</content:encoded></item></channel></rss>");
    }
    for (const QString& output : outputs) {
        QFile file(QDir(folder).filePath(output));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(original) == original.size());
    }

    QProcess process;
    process.setWorkingDirectory(folder);
    process.setChildProcessModifier([] { childprocess::limitAddressSpace(300); });
    process.start(report_, arguments << manyItems);
    QVERIFY(process.waitForFinished(120000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 3);
    QVERIFY2(errors.endsWith(QLatin1String("postlint-report: out of memory\n")),
             qPrintable(errors.right(500)));
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QCOMPARE(entriesOf(folder), outputs);
    for (const QString& output : outputs) {
        QFile file(QDir(folder).filePath(output));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original);
    }
}

QTEST_GUILESS_MAIN(ReportWriteFaultsTest)
#include "tst_reportwritefaults.moc"
