#include "exportfixture.h"

#include <QProcess>
#include <QTest>

// postlint-report as scripts run it: arguments in, output, files and exit status out.
class ReportTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exitStatus_data();
    void exitStatus();
    void faultLinesAndSummary();
    void tablesWrittenToFiles();
    void tableOnStandardOutput();
    void noItemsStillWritesHeaders();
    void unwritableOutput();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run report(const QStringList& arguments);

    ExportFixture fixture_;
    QString mixedExport_;
    QString cleanExport_;
    QString noItemsExport_;
};

void ReportTest::initTestCase()
{
    mixedExport_ =
        fixture_.write(ExportFixture::channelWith(
                           {ExportFixture::item("Good", "<a href=\"https://x.example/\">x</a>"),
                            ExportFixture::item("Bad entity", "x&nbsp;y"),
                            ExportFixture::item("Bad\nbreak", "ok\n<p>open")}),
                       QStringLiteral("mixed.xml"));
    cleanExport_ =
        fixture_.write(ExportFixture::channelWith({ExportFixture::item("Good", "<p>fine</p>")}),
                       QStringLiteral("clean.xml"));
    noItemsExport_ = fixture_.write(QByteArray("not xml at all"), QStringLiteral("text.xml"));
}

ReportTest::Run ReportTest::report(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(POSTLINT_BIN_DIR "/postlint-report"), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void ReportTest::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("all well-formed") << QStringList{cleanExport_} << 0 << QString();
    QTest::newRow("some not well-formed") << QStringList{mixedExport_} << 1 << QString();
    QTest::newRow("no items") << QStringList{noItemsExport_} << 2
                              << "Could not find any WordPress items in the export.\n" +
                                     noItemsExport_ + ":1:1: Document is empty\n";
    QTest::newRow("missing file") << QStringList{fixture_.path("missing.xml")} << 2
                                  << QStringLiteral(
                                         "Could not find any WordPress items in the export.");
    QTest::newRow("empty tag") << QStringList{"--tag", "", cleanExport_} << 2
                               << QStringLiteral(
                                      "Dummy tags encapsulate the raw HTML to allow XML parsing, \n"
                                      "it can not be empty and must be unique.");
    QTest::newRow("no export named")
        << QStringList{} << 2 << QStringLiteral("expected one export file");
    QTest::newRow("two exports named") << QStringList{cleanExport_, cleanExport_} << 2
                                       << QStringLiteral("expected one export file");
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate", cleanExport_} << 2 << QStringLiteral("frobnicate");
    QTest::newRow("unknown encoding") << QStringList{"--encoding", "utf-16", cleanExport_} << 2
                                      << QStringLiteral("unknown encoding utf-16");
    QTest::newRow("wrapper that never parses")
        << QStringList{"--tag", "a b", cleanExport_} << 1 << QString();
}

void ReportTest::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, errorText);
    const Run run = report(arguments);
    QCOMPARE(run.exitCode, exitCode);
    if (!errorText.isEmpty())
        QVERIFY2(run.err.contains(errorText), qPrintable(run.err));
}

void ReportTest::faultLinesAndSummary()
{
    const Run run = report({mixedExport_});
    QCOMPARE(run.out,
             QStringLiteral("Bad entity: 1:53: Entity 'nbsp' not defined\n"
                            "Bad break: 2:16: Opening and ending tag mismatch: p line 2 and dummy\n"
                            "3 items, 2 not well-formed, 1 link rows\n"));
    QCOMPARE(report({"--quiet", mixedExport_}).out,
             QStringLiteral("3 items, 2 not well-formed, 1 link rows\n"));
    QVERIFY(
        report({"--tag", "post", mixedExport_}).out.startsWith(QLatin1String("Bad entity: 1:52:")));

    // Faults of the export itself come first, and alone make the exit status 1.
    const QString faulty = fixture_.write(
        ExportFixture::channelWith(
            {ExportFixture::item("Fine", "ok")
                 .replace("</item>", "<wp:post_id>5</wp:post_id><wp:meta>\x10</wp:meta></item>")}),
        QStringLiteral("faulty.xml"));
    const Run faultyRun = report({faulty});
    QCOMPARE(faultyRun.out,
             faulty + QStringLiteral(":6:110: PCDATA invalid Char value 16 (in \"Fine\", post ID "
                                     "5)\n1 items, 0 not well-formed, 0 link rows, 1 export "
                                     "faults\n"));
    QCOMPARE(faultyRun.exitCode, 1);
}

void ReportTest::tablesWrittenToFiles()
{
    const QString errors = fixture_.path("errors.txt");
    const QString links = fixture_.path("links.txt");
    QCOMPARE(report({"--errors", errors, "--links", links, mixedExport_}).exitCode, 1);

    QFile errorFile(errors);
    QVERIFY(errorFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> errorLines = errorFile.readAll().split('\n');
    // Header, three rows of which one title holds a line feed, nothing after the last CR LF.
    QCOMPARE(errorLines.size(), 6);
    QCOMPARE(errorLines[0],
             QByteArray("Post Title\tContent\tError Code\tReason\tLine\tPos\tSource\tNarrowed\r"));
    QCOMPARE(errorLines[1], QByteArray("Good\t\t0\t\t0\t0\t\t\r"));
    QVERIFY(errorLines[2].startsWith("Bad entity\t\t26\tEntity 'nbsp' not defined\t1\t53\t<?xml"));
    QVERIFY(errorLines[2].endsWith("</dummy>\tmy>x&nbsp;y</dummy>\r"));
    QCOMPARE(errorLines[3], QByteArray("Bad"));
    QVERIFY(errorLines[4].startsWith("break\t\t76\t"));

    QFile linkFile(links);
    QVERIFY(linkFile.open(QIODevice::ReadOnly));
    QCOMPARE(linkFile.readAll(),
             QByteArray("Post Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n"));
}

void ReportTest::tableOnStandardOutput()
{
    const Run run = report({"--links", "-", mixedExport_});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out,
             QStringLiteral("Post Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n"));
    QVERIFY(run.err.endsWith(QLatin1String("3 items, 2 not well-formed, 1 link rows\n")));
    const QString utf8 = fixture_.path("links-utf8.txt");
    QCOMPARE(report({"--encoding", "utf-8", "--links", utf8, mixedExport_}).exitCode, 1);
    QFile file(utf8);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("\xEF\xBB\xBFPost Title\tContent\thref\r\nGood\t\thttps://x.example/\r\n"));
}

void ReportTest::noItemsStillWritesHeaders()
{
    const QString errors = fixture_.path("empty-errors.txt");
    const QString links = fixture_.path("empty-links.txt");
    const Run run = report({"--errors", errors, "--links", links, noItemsExport_});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QStringLiteral("0 items, 0 not well-formed, 0 link rows\n"));
    QFile errorFile(errors);
    QVERIFY(errorFile.open(QIODevice::ReadOnly));
    QCOMPARE(
        errorFile.readAll(),
        QByteArray("Post Title\tContent\tError Code\tReason\tLine\tPos\tSource\tNarrowed\r\n"));
    QFile linkFile(links);
    QVERIFY(linkFile.open(QIODevice::ReadOnly));
    QCOMPARE(linkFile.readAll(), QByteArray("Post Title\tContent\r\n"));
}

void ReportTest::unwritableOutput()
{
    const QString target = fixture_.path("no-such-folder/errors.txt");
    const Run run = report({"--errors", target, mixedExport_});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains(target), qPrintable(run.err));
    QVERIFY(!QFile::exists(target));
}

QTEST_GUILESS_MAIN(ReportTest)
#include "tst_report.moc"
