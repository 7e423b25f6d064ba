// Writing the export where it cannot be written: every case must give the right status with a
// reason, leave a file already at the path as it was, and leave no partial or temporary file
// behind. The machines that run these tests run as root, which ignores permission bits, so the
// permission cases write from a child process that has given up root.
#include "analysis/resulttables.h"
#include "export/tabdelimited.h"

#include "childprocess.h"
#include "faultpaths.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray original = "the user's own file\n";

enum class Setup
{
    ReadOnlyFolder,
    ReadOnlyFolderWithFile,
    ReadOnlyFile,
    ImmutableFile,
    PathIsFolder,
    MissingFolder,
    FullDevice,
    FileSizeLimit,
    PlantedLink,
};

ResultTables sampleTables(int rows)
{
    ResultTables tables;
    tables.reset();
    for (int i = 0; i < rows; ++i) {
        const int row = tables.appendErrorRow();
        tables.errorTable.setCell(ErrorTitleColumn, row, QStringLiteral("Post %1").arg(i));
        tables.errorTable.setCell(ErrorCodeColumn, row, QStringLiteral("0"));
        tables.errorTable.setCell(ErrorReasonColumn, row, QString(200, QLatin1Char('r')));
    }
    return tables;
}

// Runs the export in a child process, as the unprivileged user when asked, and with a limit on
// the size of any file it writes; the status comes back as the exit code and the reason on a pipe.
ExportResult exportInChild(const QString& path, bool unprivileged,
                           rlim_t fileSizeLimit = RLIM_INFINITY)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {ExportResult::Failed, QStringLiteral("no pipe")};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeEnds[0]);
        if (unprivileged && !childprocess::dropPrivileges())
            ::_exit(100);
        if (fileSizeLimit != RLIM_INFINITY)
            childprocess::limitFileSize(fileSizeLimit);
        const ResultTables tables = sampleTables(1000);
        const ExportResult result = exportTabDelimited(
            path, {tables.errorTable, ErrorColumnCount - 1, tables.errorRowCount});
        const QByteArray reason = result.reason.toUtf8();
        [[maybe_unused]] const ssize_t written =
            ::write(pipeEnds[1], reason.constData(), size_t(reason.size()));
        ::_exit(int(result.status));
    }
    ::close(pipeEnds[1]);
    QByteArray reason;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        reason.append(buffer, got);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > ExportResult::Failed)
        return {ExportResult::Failed, QStringLiteral("the child failed: %1").arg(status)};
    return {ExportResult::Status(WEXITSTATUS(status)), QString::fromUtf8(reason)};
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

bool setImmutable(const QString& path, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"),
                             {on ? QStringLiteral("+i") : QStringLiteral("-i"), path}) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(ExportResult::Status)

class ExportFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failedExport_data();
    void failedExport();
    void deviceStaysADevice();
    void cleanup();

private:
    QTemporaryDir dir_;
    QString immutable_;
};

void ExportFaultsTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    // The unprivileged child must reach the folders inside.
    QVERIFY(QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) |
                                                   QFileDevice::ExeOther | QFileDevice::ReadOther));
}

void ExportFaultsTest::cleanup()
{
    if (!immutable_.isEmpty())
        setImmutable(immutable_, false);
    immutable_.clear();
}

void ExportFaultsTest::failedExport_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<ExportResult::Status>("status");
    QTest::newRow("folder without write permission")
        << Setup::ReadOnlyFolder << ExportResult::PermissionDenied;
    QTest::newRow("existing file in a folder without write permission")
        << Setup::ReadOnlyFolderWithFile << ExportResult::PermissionDenied;
    QTest::newRow("existing file without write permission")
        << Setup::ReadOnlyFile << ExportResult::PermissionDenied;
    QTest::newRow("immutable file") << Setup::ImmutableFile << ExportResult::PermissionDenied;
    QTest::newRow("path is a folder") << Setup::PathIsFolder << ExportResult::Failed;
    QTest::newRow("folder does not exist") << Setup::MissingFolder << ExportResult::Failed;
    QTest::newRow("full device") << Setup::FullDevice << ExportResult::Failed;
    QTest::newRow("disk full while writing") << Setup::FileSizeLimit << ExportResult::Failed;
    QTest::newRow("another user's link in a shared folder")
        << Setup::PlantedLink << ExportResult::PermissionDenied;
}

void ExportFaultsTest::failedExport()
{
    QFETCH(Setup, setup);
    QFETCH(ExportResult::Status, status);

    const QString folder = dir_.filePath(
        QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::WriteOther | QFileDevice::ExeOther));
    QString path = QDir(folder).filePath(QStringLiteral("errors.txt"));
    bool existing = false;
    bool unprivileged = false;
    rlim_t fileSizeLimit = RLIM_INFINITY;
    auto writeOriginal = [&](QFileDevice::Permissions permissions) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(original);
        file.close();
        QVERIFY(file.setPermissions(permissions));
        existing = true;
    };

    switch (setup) {
    case Setup::ReadOnlyFolderWithFile:
        // Writable itself: only the folder forbids the save, which must not fall back to
        // rewriting the file in place.
        writeOriginal(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                      QFileDevice::WriteOther);
        [[fallthrough]];
    case Setup::ReadOnlyFolder:
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther));
        unprivileged = true;
        break;
    case Setup::ReadOnlyFile:
        writeOriginal(QFileDevice::ReadOwner | QFileDevice::ReadOther);
        unprivileged = true;
        break;
    case Setup::ImmutableFile:
        writeOriginal(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        if (!setImmutable(path, true))
            QSKIP("chattr +i is not available on this file system");
        immutable_ = path;
        break;
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
    case Setup::FileSizeLimit:
        writeOriginal(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        fileSizeLimit = 4096;
        break;
    case Setup::PlantedLink: {
        // As in /tmp: a sticky folder everyone may write, where another user left a link to a
        // file that the user may write. Refused whether or not the system protects such links.
        const QString victim = QDir(folder).filePath(QStringLiteral("victim"));
        QVERIFY(QDir().mkpath(victim) && ::chmod(QFile::encodeName(victim).constData(), 0777) == 0);
        path = QDir(victim).filePath(QStringLiteral("target.txt"));
        writeOriginal(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                      QFileDevice::WriteOther);
        const QByteArray link = QFile::encodeName(QDir(folder).filePath(QStringLiteral("e.txt")));
        QCOMPARE(::symlink("victim/target.txt", link.constData()), 0);
        if (::lchown(link.constData(), childprocess::nobodyId - 1, childprocess::nobodyId - 1) != 0)
            QSKIP("the link cannot be given to another user here");
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
        path = QString::fromUtf8(link);
        unprivileged = true;
        break;
    }
    }

    const QStringList before = entriesOf(folder);
    const ExportResult result = exportInChild(path, unprivileged, fileSizeLimit);

    QCOMPARE(result.status, status);
    if (status == ExportResult::Failed)
        QVERIFY2(!result.reason.isEmpty(), "a failure without a reason");
    QCOMPARE(entriesOf(folder), before);
    if (existing) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), original);
    }
    if (setup == Setup::PathIsFolder)
        QVERIFY(entriesOf(path).isEmpty());
    if (setup == Setup::FullDevice) {
        struct stat node;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &node) == 0 && S_ISCHR(node.st_mode));
    }
    if (setup == Setup::MissingFolder)
        QVERIFY(!QFileInfo::exists(QFileInfo(path).path()));
}

// A save replaces the file by a new one; a device must never be replaced by a regular file.
void ExportFaultsTest::deviceStaysADevice()
{
    const QString node = dir_.filePath(QStringLiteral("null-device"));
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        QSKIP("device nodes cannot be made here");
    const ResultTables tables = sampleTables(3);
    const ExportResult result =
        exportTabDelimited(node, {tables.errorTable, ErrorColumnCount - 1, tables.errorRowCount});
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(node).constData(), &status), 0);
    QVERIFY2(S_ISCHR(status.st_mode), "the device was replaced by a file");
    // Where the file system forbids devices, opening it fails; otherwise the lines went to it.
    QVERIFY(result.status == ExportResult::Written || !result.reason.isEmpty());
    QCOMPARE(entriesOf(dir_.path()).filter(QStringLiteral("null-device")),
             QStringList{QStringLiteral("null-device")});
}

QTEST_GUILESS_MAIN(ExportFaultsTest)
#include "tst_exportfaults.moc"
